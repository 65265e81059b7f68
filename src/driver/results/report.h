#pragma once

#include <string>
#include <string_view>

#include "driver/control/run_clock.h"
#include "driver/entry/fit.h"
#include "driver/results/run_record.h"
#include "io/atomic_file.h"
#include "support/error.h"

namespace orthomix {

// What the report shows: what the run read, since when it runs, and the
// outcome of the fit, which must have succeeded.
struct ReportInput {
    const RunInputs& inputs;
    const RunClock& clock;
    const FitOutcome& outcome;
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
