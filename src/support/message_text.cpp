#include "support/message_text.h"

namespace orthomix {
namespace {

bool continuesUtf8Character(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

std::string excerpt(std::string_view text, std::size_t shown) {
    if (text.size() <= shown) return std::string(text);
    std::size_t cut = shown;
    // Back to the first byte of the character the cut would split (at most three steps).
    while (cut > 0 && shown - cut < 3 && continuesUtf8Character(text[cut])) --cut;
    if (continuesUtf8Character(text[cut])) cut = shown;  // not UTF-8 after all: cut where asked
    return std::string(text.substr(0, cut)) + "... (" + std::to_string(text.size()) + " bytes in all)";
}

}  // namespace orthomix
