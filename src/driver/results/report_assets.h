#pragma once

#include <string_view>

// Files compiled into the binary at build time (cmake/embed_files.cmake).
namespace orthomix::embedded {

extern const std::string_view reportPage;   // src/driver/report_page.html
extern const std::string_view vegaJs;       // third_party/vega/vega.min.js
extern const std::string_view vegaLiteJs;   // third_party/vega/vega-lite.min.js
extern const std::string_view vegaEmbedJs;  // third_party/vega/vega-embed.min.js

}  // namespace orthomix::embedded
