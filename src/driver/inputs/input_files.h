#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "driver/settings/settings.h"
#include "records/organism_data.h"
#include "records/orthologs.h"
#include "support/error.h"
#include "support/reporter.h"

namespace orthomix {

// The input files as read, before preprocessing.
struct InputFiles {
    OrganismData human;
    OrganismData mouse;
    OrthologTable orthologs;
    // Genes left out for a value that is not a number; set only with missingValues = dropGene.
    std::optional<std::size_t> humanIncompleteGenesDropped, mouseIncompleteGenesDropped;
};

// Reads both expression files, human first, and says "finish reading data".
// An organism without genes is an error. Messages about a file that cannot
// be read name the file beside the parameter file when that is what was meant.
Result<InputFiles> readExpressionFiles(const ParameterSetting& settings, const std::string& parameterPath,
                                       Reporter& reporter);

// Adds both annotation files to the organisms and reads the ortholog file.
Status readAnnotationAndOrthologFiles(const ParameterSetting& settings, const std::string& parameterPath,
                                      InputFiles& inputs, Reporter& reporter);

}  // namespace orthomix
