// The Python module's native part: converts at the border and calls the
// in-memory entry or the command line's run; nothing numerical of its own.
// The Python package around it (orthomix/) shapes the results into pandas.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <csignal>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "background_run.h"
#include "driver/entry/fit.h"
#include "driver/results/assignment_tables.h"
#include "driver/results/result_assembly.h"
#include "driver/results/result_files.h"
#include "driver/results/run_record.h"
#include "driver/run.h"
#include "driver/settings/output_paths.h"
#include "driver/settings/run_limits.h"
#include "driver/settings/settings.h"

namespace py = pybind11;

namespace orthomix::python {
namespace {

// Stands where the command line names its parameter file; messages about
// keyword settings drop it.
constexpr const char* kKeywordSource = "<keyword settings>";
// Fills the required paths that a fit in memory does not use.
constexpr const char* kUnusedPath = "<in memory>";

// What messages call an input that was never a file, such as the line on
// how many ortholog pairs matched.
std::string inMemoryName(std::string_view key) {
    if (key == "dataFile_hm") return "the human expression table";
    if (key == "dataFile_ms") return "the mouse expression table";
    if (key == "annotFile_hm") return "the human annotation";
    if (key == "annotFile_ms") return "the mouse annotation";
    if (key == "orthologFile") return "the ortholog table";
    return kUnusedPath;
}

std::string withoutSource(std::string message) {
    const std::string source = std::string(" in parameter file ") + kKeywordSource;
    for (std::size_t at; (at = message.find(source)) != std::string::npos;) message.erase(at, source.size());
    return message;
}

// Errors about files become OSError, everything else ValueError: the tool's
// messages about a file it cannot use start with "Cannot open".
[[noreturn]] void raise(const Error& error) {
    const std::string message = withoutSource(error.message);
    if (message.rfind("Cannot open", 0) == 0) {
        PyErr_SetString(PyExc_OSError, message.c_str());
        throw py::error_already_set();
    }
    throw py::value_error(message);
}

const char* kindName(SettingKind kind) {
    switch (kind) {
        case SettingKind::InputPath: return "input";
        case SettingKind::OutputPath: return "output";
        case SettingKind::Switch: return "switch";
        case SettingKind::Real: return "real";
        case SettingKind::WholeReal: return "whole real";
        case SettingKind::Count: return "count";
        case SettingKind::Seed: return "seed";
        case SettingKind::KList: return "k list";
        case SettingKind::Threads: return "threads";
        case SettingKind::Choice: return "choice";
        case SettingKind::OutputFolder: return "output folder";
    }
    return "";
}

py::list settingDefinitions() {
    py::list definitions;
    for (const SettingDefinition& definition : kSettings) {
        definitions.append(py::make_tuple(std::string(definition.key), kindName(definition.kind), definition.required,
                                          std::string(definition.help)));
    }
    return definitions;
}

// The settings of a fit in memory, read and checked as the command line
// reads and checks a parameter file; their warnings go to the reporter.
ParameterSetting checkedSettings(ParameterTable table, BackgroundRun& run) {
    for (const SettingDefinition& definition : kSettings) {
        if (definition.required && (definition.kind == SettingKind::InputPath ||
                                    definition.kind == SettingKind::OutputPath)) {
            table.emplace(std::string(definition.key), inMemoryName(definition.key));
        }
    }
    for (const std::string& warning : parameterWarnings(table, kKeywordSource)) {
        run.reporter().warning(withoutSource(warning));
    }
    run.deliver();
    ParameterSetting settings = settingsFromTable(table);
    if (Status checked = checkSettings(settings, table, kKeywordSource); !checked) raise(checked.error());
    if (Status limits = checkRunLimits(settings, kKeywordSource); !limits) raise(limits.error());
    return settings;
}

OrganismData organismFrom(std::vector<std::string> identifiers, std::vector<std::string> samples,
                          const py::array_t<double, py::array::c_style | py::array::forcecast>& values,
                          std::vector<std::string> annotations) {
    if (values.ndim() != 2) throw py::value_error("expression values must be a two-dimensional array");
    const auto rows = static_cast<std::size_t>(values.shape(0));
    const auto columns = static_cast<std::size_t>(values.shape(1));
    if (rows != identifiers.size() || columns != samples.size() || annotations.size() != rows) {
        throw py::value_error("expression values, identifiers, sample names and annotations do not match in size");
    }
    OrganismData organism;
    organism.identifiers = std::move(identifiers);
    organism.sampleNames = std::move(samples);
    organism.annotations = std::move(annotations);
    organism.expression = ExpressionMatrix(rows, columns);
    if (rows * columns > 0) std::memcpy(organism.expression.row(0), values.data(), rows * columns * sizeof(double));
    return organism;
}

// A finished fit and the settings it ran with, for the package to read.
struct Fit {
    ParameterSetting settings;
    FitOutcome outcome;
    std::vector<std::string> console;  // every line, note and warning, in order
};

const OrganismData& organismOf(const Fit& fit, const std::string& organism) {
    if (organism == "human") return fit.outcome.data.human;
    if (organism == "mouse") return fit.outcome.data.mouse;
    throw py::value_error("organism must be \"human\" or \"mouse\"");
}

const OrganismClustering& clusteringOf(const Fit& fit, const std::string& organism) {
    return organism == "human" ? fit.outcome.kept().best.human : fit.outcome.kept().best.mouse;
}

py::array_t<double> matrixOf(const std::vector<double>& values, std::size_t rows, std::size_t columns) {
    py::array_t<double> array({rows, columns});
    if (!values.empty()) std::memcpy(array.mutable_data(), values.data(), values.size() * sizeof(double));
    return array;
}

// The membership file's position of every kept gene, -1 for scatter.
std::vector<std::int32_t> labelsOf(const Fit& fit, const std::string& organism) {
    const OrganismData& data = organismOf(fit, organism);
    const MembershipView view = membershipView(clusteringOf(fit, organism), data);
    std::vector<std::int32_t> labels;
    for (const GeneAssignment& assignment : assignGenes(data, view)) labels.push_back(assignment.cluster);
    return labels;
}

py::array_t<double> centresOf(const Fit& fit, const std::string& organism, bool variances) {
    const ClusterParameters& parameters = clusteringOf(fit, organism).parameters;
    return matrixOf(variances ? parameters.variances : parameters.means, parameters.clusterCount, parameters.columns);
}

py::dict pairTableOf(const Fit& fit) {
    py::list human, mouse, pairs, probability, expected, ratio, pValue, qValue;
    for (const PairTableRow& row : pairTableRows(fit.outcome.data, fit.outcome.kept().best)) {
        human.append(row.humanCluster);
        mouse.append(row.mouseCluster);
        pairs.append(row.pairs);
        probability.append(row.fittedProbability);
        expected.append(row.expectedPairs);
        ratio.append(row.observedOverExpected);
        pValue.append(row.pValue);
        qValue.append(row.qValue);
    }
    py::dict table;
    table["human_cluster"] = human;
    table["mouse_cluster"] = mouse;
    table["observed"] = pairs;
    table["probability"] = probability;
    table["expected"] = expected;
    table["observed_over_expected"] = ratio;
    table["p_value"] = pValue;
    table["q_value"] = qValue;
    return table;
}

py::dict pairAssignmentsOf(const Fit& fit) {
    py::list human, mouse, humanCluster, mouseCluster;
    for (const GenePairLine& line : genePairLines(fit.outcome.data, fit.outcome.kept().best)) {
        human.append(std::string(line.human));
        mouse.append(std::string(line.mouse));
        humanCluster.append(line.humanCluster);
        mouseCluster.append(line.mouseCluster);
    }
    py::dict table;
    table["human"] = human;
    table["mouse"] = mouse;
    table["human_cluster"] = humanCluster;
    table["mouse_cluster"] = mouseCluster;
    return table;
}

py::list attemptsOf(const Fit& fit) {
    py::list rows;
    for (const AttemptRecord& attempt : fit.outcome.allAttempts()) {
        py::dict row;
        row["k"] = attempt.k;
        row["repetition"] = attempt.repetition;
        row["attempt"] = attempt.attempt;
        row["accepted"] = attempt.accepted;
        row["rejection_reason"] = attempt.rejectionReason;
        row["iterations"] = attempt.iterations;
        row["log_likelihood"] = attempt.logLikelihood;
        row["human_spread"] = attempt.humanSpread;
        row["mouse_spread"] = attempt.mouseSpread;
        row["scatter_pairs"] = attempt.scatterPairs;
        row["seconds"] = attempt.seconds;
        rows.append(row);
    }
    return rows;
}

py::list modelSelectionOf(const Fit& fit) {
    py::list rows;
    for (const ModelSelectionRow& selection : fit.outcome.modelSelection) {
        py::dict row;
        row["k"] = selection.k;
        row["completed"] = selection.completed;
        row["repetitions_accepted"] = selection.repetitionsAccepted;
        row["attempts_rejected"] = selection.attemptsRejected;
        row["log_likelihood"] = selection.logLikelihood;
        row["parameters"] = selection.parameters;
        row["bic"] = selection.bic;
        row["iterations"] = selection.iterations;
        row["seconds"] = selection.seconds;
        row["selected"] = selection.selected;
        rows.append(row);
    }
    return rows;
}

// What the run record and the report say the run read, for a fit in memory.
RunInputs runInputsOf(const Fit& fit) {
    RunInputs inputs;
    inputs.parameters = fit.settings;
    inputs.seed = fit.outcome.seed;
    inputs.seedFromClock = fit.outcome.seedFromClock;
    inputs.humanGenesRead = fit.outcome.humanGenesRead;
    inputs.mouseGenesRead = fit.outcome.mouseGenesRead;
    inputs.humanGenesKept = fit.outcome.humanGenesKept;
    inputs.mouseGenesKept = fit.outcome.mouseGenesKept;
    inputs.orthologEntries = fit.outcome.orthologEntries;
    inputs.orthologPairsPresent = fit.outcome.orthologPairsPresent;
    return inputs;
}

// Writes the result files that `paths` (key to path) name, as the command
// line writes them from the same outcome, and returns their paths.
std::vector<std::string> writeFit(const Fit& fit, const std::map<std::string, std::string>& paths,
                                  BackgroundRun& run) {
    ParameterSetting settings = fit.settings;
    for (const SettingDefinition& definition : kSettings) {
        if (definition.kind != SettingKind::OutputPath) continue;
        auto& member = settings.*std::get<std::string ParameterSetting::*>(definition.field);
        const auto given = paths.find(std::string(definition.key));
        member = given == paths.end() ? std::string() : given->second;
        if (definition.required && member.empty()) {
            throw py::value_error("The key " + std::string(definition.key) + " is missing or empty");
        }
    }
    // The inputs were never files here: nothing to collide with but each other.
    settings.dataFile_hm = settings.dataFile_ms = settings.annotFile_hm = settings.annotFile_ms =
        settings.orthologFile = kUnusedPath;
    if (Status apart = checkOutputPaths(settings, kKeywordSource); !apart) raise(apart.error());
    if (Status ready = prepareOutputLocations(settings); !ready) raise(ready.error());
    Status status = okStatus();
    std::vector<std::string> written;
    run.start([&](Reporter& reporter, const StopToken&) {
        const RunClock clock;
        RunRecordBuilder record("", clock);
        record.settingsRead(settings, fit.outcome.seed);
        record.outputPathsChecked();
        record.fitted(fit.outcome);
        OutputSet results;
        writeResults(results, fit.outcome, settings, runInputsOf(fit), clock);
        status = results.finish();
        if (!status) return;
        written = results.paths();
        const RunRecord completed = record.completed(written);
        if (!completed.path().empty()) results.add(completed.path()).write(renderRunRecord(completed, std::nullopt));
        status = commitResults(results, reporter);
    });
    run.wait();
    if (!status) raise(status.error());
    return written;
}

}  // namespace

PYBIND11_MODULE(_core, module) {
    module.doc() = "The native part of orthomix; use the orthomix package instead.";
    module.attr("version") = ORTHOMIX_VERSION;
    module.def("setting_definitions", &settingDefinitions,
               "Every parameter key as (key, kind, required, help), in the order they are checked.");

    py::class_<Fit>(module, "Fit")
        .def_property_readonly("seed", [](const Fit& fit) { return fit.outcome.seed; })
        .def_property_readonly("seed_from_clock", [](const Fit& fit) { return fit.outcome.seedFromClock; })
        .def_property_readonly("sweep", [](const Fit& fit) { return fit.outcome.sweep; })
        .def_property_readonly("k", [](const Fit& fit) { return fit.outcome.keptRun().k; })
        .def_property_readonly("log_likelihood", [](const Fit& fit) { return fit.outcome.kept().bestLogLikelihood; })
        .def_property_readonly("bic", [](const Fit& fit) { return fit.outcome.kept().bic; })
        .def_property_readonly("n_iter", [](const Fit& fit) { return fit.outcome.kept().best.iterations; })
        .def_property_readonly("best_repetition", [](const Fit& fit) { return fit.outcome.kept().bestRepetition; })
        .def_property_readonly("console", [](const Fit& fit) { return fit.console; })
        .def_property_readonly("warnings", [](const Fit& fit) { return fit.outcome.warnings; })
        .def("identifiers", [](const Fit& fit, const std::string& o) { return organismOf(fit, o).identifiers; })
        .def("samples", [](const Fit& fit, const std::string& o) { return organismOf(fit, o).sampleNames; })
        .def("labels", &labelsOf)
        .def("posteriors", [](const Fit& fit, const std::string& o) {
            organismOf(fit, o);
            return clusteringOf(fit, o).posteriors;
        })
        .def("means", [](const Fit& fit, const std::string& o) { return centresOf(fit, o, false); })
        .def("variances", [](const Fit& fit, const std::string& o) { return centresOf(fit, o, true); })
        .def("pair_table", &pairTableOf)
        .def("pair_assignments", &pairAssignmentsOf)
        .def("attempts", &attemptsOf)
        .def("model_selection", &modelSelectionOf)
        .def("write", [](const Fit& fit, const std::map<std::string, std::string>& paths, const py::object& onLine,
                         const py::object& onWarning) {
            BackgroundRun run(onLine, onWarning);
            return writeFit(fit, paths, run);
        });

    module.def(
        "fit",
        [](const std::map<std::string, std::string>& table, py::tuple human, py::tuple mouse,
           std::vector<std::pair<std::string, std::string>> orthologs, std::uint32_t seedWhenUnset,
           const py::object& onLine, const py::object& onWarning) {
            BackgroundRun run(onLine, onWarning);
            auto fit = std::make_unique<Fit>();
            fit->settings = checkedSettings(ParameterTable(table.begin(), table.end()), run);
            FitInputs inputs{
                organismFrom(human[0].cast<std::vector<std::string>>(), human[1].cast<std::vector<std::string>>(),
                             human[2].cast<py::array_t<double, py::array::c_style | py::array::forcecast>>(),
                             human[3].cast<std::vector<std::string>>()),
                organismFrom(mouse[0].cast<std::vector<std::string>>(), mouse[1].cast<std::vector<std::string>>(),
                             mouse[2].cast<py::array_t<double, py::array::c_style | py::array::forcecast>>(),
                             mouse[3].cast<std::vector<std::string>>()),
                OrthologTable(orthologs.begin(), orthologs.end())};
            run.start([&](Reporter& reporter, const StopToken& stop) {
                fit->outcome =
                    fitClusters(fit->settings, std::move(inputs), seedWhenUnset, FitObserver{reporter, stop, {}});
            });
            run.wait();
            fit->console = run.console();
            if (fit->outcome.outOfMemory) throw std::bad_alloc();
            if (fit->outcome.error) raise(*fit->outcome.error);
            return fit;
        },
        py::arg("settings"), py::arg("human"), py::arg("mouse"), py::arg("orthologs"), py::arg("seed_when_unset"),
        py::arg("on_line"), py::arg("on_warning"),
        "Fits from data in memory; each organism as (identifiers, samples, values, annotations).");

    module.def(
        "run_parameter_file",
        [](const std::string& path, std::uint32_t clockSeed, const py::object& onLine, const py::object& onWarning) {
            BackgroundRun run(onLine, onWarning);
            RunRecordBuilder record(path, RunClock{});
            std::optional<FitOutcome> fitted;
            Status status = okStatus();
            run.start([&](Reporter& reporter, const StopToken& stop) {
                try {
                    status = runOrthomix(path, clockSeed, reporter, record, stop, fitted);
                } catch (const std::bad_alloc&) {
                    status = Error{"Out of memory while " + record.record().phaseInProgress()};
                }
                if (!status) {
                    if (stop.signal() != 0) record.interrupted(stop.signal());
                    writeFailedRunRecord(record.record(), status.error().message);
                }
            });
            run.wait();
            if (!status) raise(status.error());
            auto fit = std::make_unique<Fit>();
            fit->settings = *record.record().inputs.parameters;
            fit->outcome = std::move(*fitted);
            fit->console = run.console();
            return fit;
        },
        py::arg("path"), py::arg("clock_seed"), py::arg("on_line"), py::arg("on_warning"),
        "Runs the command line's run on a parameter file and keeps its outcome.");
}

}  // namespace orthomix::python
