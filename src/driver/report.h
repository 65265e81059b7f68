#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "driver/run_record.h"
#include "io/atomic_file.h"
#include "model/em_attempt.h"
#include "records/dataset.h"
#include "support/error.h"

namespace orthomix {

// What the report shows: the run as recorded so far, the data, and the kept
// clustering with its k.
struct ReportInput {
    const RunRecord& record;
    const Dataset& data;
    const AttemptResult& best;
    std::int32_t k = 0;
};

// The page's data as one JSON document.
std::string reportData(const ReportInput& input);

// The page's markers, each replaced once by renderReport.
inline constexpr std::string_view kReportDataMarker = "/*@report-data@*/";
inline constexpr std::string_view kVegaMarker = "/*@vega@*/";
inline constexpr std::string_view kVegaLiteMarker = "/*@vega-lite@*/";
inline constexpr std::string_view kVegaEmbedMarker = "/*@vega-embed@*/";

// The whole page: the embedded template with the chart libraries and the data
// filled in. It loads nothing from anywhere.
std::string renderReport(const ReportInput& input);

// Writes the page into a file of the result set.
void writeReport(AtomicOutputFile& out, const ReportInput& input);

}  // namespace orthomix
