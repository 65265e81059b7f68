#include "driver/inputs/input_files.h"

#include <utility>
#include <vector>

#include "driver/inputs/input_messages.h"
#include "io/annotation_reader.h"
#include "io/expression_reader.h"
#include "io/ortholog_reader.h"

namespace orthomix {
namespace {

Result<OrganismData> readOrganism(const std::string& path, const char* name, const std::string& parameterPath,
                                  Reporter& reporter) {
    Result<ExpressionFile> file = readExpressionFile(path);
    if (!file) return withFolderHint(file.error(), path, parameterPath);
    if (file->nonNumericFields > 0) reporter.warning(nonNumericWarning(*file, path));
    if (file->data.geneCount() == 0) return Error{std::string("No ") + name + " genes were read from " + path};
    return std::move(file->data);
}

Status readAnnotations(const std::string& path, const std::string& parameterPath, OrganismData& organism) {
    Result<std::vector<std::string>> annotations = readAnnotationFile(path, organism.identifiers);
    if (!annotations) return withFolderHint(annotations.error(), path, parameterPath);
    organism.annotations = std::move(*annotations);
    return okStatus();
}

}  // namespace

Result<InputFiles> readExpressionFiles(const ParameterSetting& settings, const std::string& parameterPath,
                                       Reporter& reporter) {
    Result<OrganismData> human = readOrganism(settings.dataFile_hm, "human", parameterPath, reporter);
    if (!human) return human.error();
    Result<OrganismData> mouse = readOrganism(settings.dataFile_ms, "mouse", parameterPath, reporter);
    if (!mouse) return mouse.error();
    InputFiles inputs;
    inputs.human = std::move(*human);
    inputs.mouse = std::move(*mouse);
    reporter.line("finish reading data");
    return inputs;
}

Status readAnnotationAndOrthologFiles(const ParameterSetting& settings, const std::string& parameterPath,
                                      InputFiles& inputs, Reporter& reporter) {
    ORTHOMIX_TRY(readAnnotations(settings.annotFile_hm, parameterPath, inputs.human));
    reporter.line("finish human annot");
    ORTHOMIX_TRY(readAnnotations(settings.annotFile_ms, parameterPath, inputs.mouse));
    reporter.line("finish reading annot");
    Result<OrthologTable> orthologs = readOrthologFile(settings.orthologFile);
    if (!orthologs) return withFolderHint(orthologs.error(), settings.orthologFile, parameterPath);
    inputs.orthologs = std::move(*orthologs);
    return okStatus();
}

}  // namespace orthomix
