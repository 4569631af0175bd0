#pragma once
// Texts that ship inside the program (UTF-8, CR LF between lines).

#include <string_view>

namespace talery {

enum class Resource { Quotes, GeographyHistory, Licence };

std::string_view resourceText(Resource resource);

}  // namespace talery
