#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace norvo {

// Every text the user sees (message boxes, window titles and labels, the terminal's lines) is a
// named constant beside the code that shows it. A text that carries a name, an address or a
// number is a pattern: %1 to %9 stand for the pieces, so a reworded pattern may place them in
// any order. This is the one place where patterns become texts.
//
// Each %N with a piece N is replaced by that piece, once: pieces are never scanned again, so a
// typed name that contains "%1" stays as typed. Any other '%' is kept.
std::string ComposeText(std::string_view pattern,
                        std::initializer_list<std::string_view> pieces = {});

}  // namespace norvo
