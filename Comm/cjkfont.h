// Chinese text on systems without "Microsoft YaHei": the forms and style sheets name
// that family (also as "MicrosoftYaHei"); map those names to an installed font that
// has the Simplified Chinese characters, so no label draws empty boxes.
#pragma once

#include <QString>

namespace vantor {

inline constexpr char kInterfaceFontFamily[] = "Microsoft YaHei";

// Installs the substitutions when the family is missing. Returns the family the
// interface font resolves to (the substitute, or the family itself), empty when no
// installed font covers Simplified Chinese.
QString installCjkFontSubstitutes();

}  // namespace vantor
