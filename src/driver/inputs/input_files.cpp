#include "driver/inputs/input_files.h"

#include <utility>
#include <vector>

#include "driver/inputs/input_choices.h"
#include "driver/inputs/input_messages.h"
#include "io/annotation_reader.h"
#include "io/expression_reader.h"
#include "io/ortholog_reader.h"

namespace orthomix {
namespace {

Result<OrganismData> readOrganism(const std::string& path, const char* name, const ParameterSetting& settings,
                                  const std::string& parameterPath, Reporter& reporter,
                                  std::optional<std::size_t>& incompleteGenesDropped, ThreadPool& pool) {
    Result<ExpressionFile> file = readExpressionFile(path, &pool);
    if (!file) return withFolderHint(file.error(), path, parameterPath);
    if (file->headerWithoutCorner) reporter.note(headerWithoutCornerNote(*file, path));
    reportDateLikeIdentifiers(file->data.identifiers, path, reporter);
    OrganismData data = settleMissingValues(std::move(*file), settings, path, reporter, incompleteGenesDropped);
    if (data.geneCount() == 0) return Error{std::string("No ") + name + " genes were read from " + path};
    return settleRepeatedRows(std::move(data), settings, path, reporter);
}

Status readAnnotations(const std::string& path, const std::string& parameterPath, OrganismData& organism,
                       Reporter& reporter) {
    Result<AnnotationFile> annotations = readAnnotationRecords(path, organism.identifiers);
    if (!annotations) return withFolderHint(annotations.error(), path, parameterPath);
    if (annotations->repeated.any()) reporter.warning(repeatedAnnotationsWarning(annotations->repeated, path));
    organism.annotations = std::move(annotations->annotations);
    return okStatus();
}

}  // namespace

Result<InputFiles> readExpressionFiles(const ParameterSetting& settings, const std::string& parameterPath,
                                       Reporter& reporter) {
    InputFiles inputs;
    ThreadPool pool(static_cast<unsigned>(settings.threads));
    Result<OrganismData> human = readOrganism(settings.dataFile_hm, "human", settings, parameterPath, reporter,
                                              inputs.humanIncompleteGenesDropped, pool);
    if (!human) return human.error();
    Result<OrganismData> mouse = readOrganism(settings.dataFile_ms, "mouse", settings, parameterPath, reporter,
                                              inputs.mouseIncompleteGenesDropped, pool);
    if (!mouse) return mouse.error();
    inputs.human = std::move(*human);
    inputs.mouse = std::move(*mouse);
    reporter.line("finish reading data");
    return inputs;
}

Status readAnnotationAndOrthologFiles(const ParameterSetting& settings, const std::string& parameterPath,
                                      InputFiles& inputs, Reporter& reporter) {
    ORTHOMIX_TRY(readAnnotations(settings.annotFile_hm, parameterPath, inputs.human, reporter));
    reporter.line("finish human annot");
    ORTHOMIX_TRY(readAnnotations(settings.annotFile_ms, parameterPath, inputs.mouse, reporter));
    reporter.line("finish reading annot");
    Result<OrthologFile> orthologs = readOrthologRecords(settings.orthologFile);
    if (!orthologs) return withFolderHint(orthologs.error(), settings.orthologFile, parameterPath);
    if (orthologs->repeatedPairs.any()) {
        reporter.warning(repeatedOrthologPairsWarning(orthologs->repeatedPairs, settings.orthologFile));
    }
    inputs.orthologs = std::move(orthologs->table);
    reportDateLikeIdentifiers(orthologIdentifiers(inputs.orthologs), settings.orthologFile, reporter);
    return okStatus();
}

}  // namespace orthomix
