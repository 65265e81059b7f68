#include "io/result_writers.h"

#include <cmath>
#include <cstdio>

#include "io/atomic_file.h"
#include "support/number_format.h"

namespace orthomix {

void writeMembershipFile(AtomicOutputFile& out, const std::vector<MembershipCluster>& clusters,
                         const std::vector<std::string>& columnNames) {
    out.write("probe set\tNAME");
    for (const std::string& name : columnNames) {
        out.write('\t');
        out.write(name);
    }
    out.write('\n');
    for (std::size_t c = 0; c < clusters.size(); ++c) {
        if (c > 0) out.write("NONE\nNONE\nNONE\n");
        for (const MembershipRow& row : clusters[c]) {
            out.write(row.name);
            out.write('\t');
            out.write(row.annotation);
            out.writeNumbers(row.values, '\t');
            out.writeNumbers(row.moreValues, '\t');
            out.write('\n');
        }
    }
}

void writeGenePairResultFile(AtomicOutputFile& out, const std::vector<GenePairLine>& pairs) {
    for (const GenePairLine& pair : pairs) {
        out.write("  <");
        out.write(pair.human);
        out.write(", ");
        out.write(pair.mouse);
        out.write(">--->\t[");
        out.write(std::to_string(pair.humanCluster));
        out.write(',');
        out.write(std::to_string(pair.mouseCluster));
        out.write("]\n");
    }
}

namespace {

void writeDefinedNumber(AtomicOutputFile& out, double value) {
    if (!std::isnan(value)) out.writeNumber(value);
}

}  // namespace

void writePairTableFile(AtomicOutputFile& out, const std::vector<PairTableRow>& rows) {
    out.write("human_cluster\tmouse_cluster\tpairs\tfitted_probability\texpected_pairs\tobserved_over_expected\tp_value\t"
              "q_value\n");
    for (const PairTableRow& row : rows) {
        const bool scatter = row.humanCluster < 0;
        out.write(scatter ? std::string("scatter") : std::to_string(row.humanCluster));
        out.write('\t');
        out.write(scatter ? std::string("scatter") : std::to_string(row.mouseCluster));
        out.write('\t');
        out.write(std::to_string(row.pairs));
        out.write('\t');
        out.writeNumber(row.fittedProbability);
        out.write('\t');
        writeDefinedNumber(out, row.expectedPairs);
        out.write('\t');
        writeDefinedNumber(out, row.observedOverExpected);
        out.write('\t');
        writeDefinedNumber(out, row.pValue);
        out.write('\t');
        writeDefinedNumber(out, row.qValue);
        out.write('\n');
    }
}

void writePairAssignmentFile(AtomicOutputFile& out, const std::vector<PairAssignmentRow>& rows) {
    out.write("human_id\thuman_annotation\tmouse_id\tmouse_annotation\thuman_cluster\tmouse_cluster\tcell\t"
              "human_posterior\tmouse_posterior\tsignificant_partners\n");
    const auto cluster = [](std::int32_t number) {
        return number < 0 ? std::string("scatter") : std::to_string(number);
    };
    for (const PairAssignmentRow& row : rows) {
        const bool scatter = row.humanCluster < 0 || row.mouseCluster < 0;
        out.write(std::string(row.humanId) + '\t' + std::string(row.humanAnnotation) + '\t' +
                  std::string(row.mouseId) + '\t' + std::string(row.mouseAnnotation) + '\t' +
                  cluster(row.humanCluster) + '\t' + cluster(row.mouseCluster) + '\t' +
                  (scatter ? std::string("scatter") : cluster(row.humanCluster) + ',' + cluster(row.mouseCluster)) +
                  '\t');
        writeDefinedNumber(out, row.humanPosterior);
        out.write('\t');
        writeDefinedNumber(out, row.mousePosterior);
        out.write(row.significantPartners ? "\tyes\n" : "\tno\n");
    }
}

void writeModelSelectionFile(AtomicOutputFile& out, const std::vector<ModelSelectionRow>& rows) {
    out.write("k\trepetitions_accepted\tattempts_rejected\tlog_likelihood\tparameters\tbic\titerations\tseconds\t"
              "selected\ticl\thuman_stability\tmouse_stability\n");
    for (const ModelSelectionRow& row : rows) {
        out.write(std::to_string(row.k) + '\t' + std::to_string(row.repetitionsAccepted) + '\t' +
                  std::to_string(row.attemptsRejected) + '\t');
        if (row.completed) {
            out.write(formatRoundTrip(row.logLikelihood) + '\t' + std::to_string(row.parameters) + '\t' +
                      formatRoundTrip(row.bic) + '\t' + std::to_string(row.iterations) + '\t');
        } else {
            out.write("\t\t\t\t");
        }
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", row.seconds);
        out.write(std::string(seconds) + '\t' + (row.selected ? "yes" : "no") + '\t');
        // Stability needs a second repetition; without one, like a k without a result, it is left empty.
        const auto optional = [](const std::optional<double>& value) {
            return value ? formatRoundTrip(*value) : std::string();
        };
        out.write((row.completed ? formatRoundTrip(row.icl) : std::string()) + '\t' + optional(row.humanStability) +
                  '\t' + optional(row.mouseStability) + '\n');
    }
}

}  // namespace orthomix
