#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Marks one of the program's texts for the translation tools, which collect every text so
// marked into the catalogue a translation is written against. Mark a text at namespace scope
// (a named constant), never inside a class: the tools file it under its enclosing class, and
// the program looks every text up under the namespace alone. Expands to the text itself.
#define NORVO_TEXT(text) text

namespace norvo {

// Every text the user sees (message boxes, window titles and labels, the terminal's lines) is a
// named constant beside the code that shows it. A text that carries a name, an address or a
// number is a pattern: %1 to %9 stand for the pieces, so a reworded pattern may place them in
// any order. This is the one place where patterns become texts.
//
// Each %N with a piece N is replaced by that piece, once: pieces are never scanned again, so a
// typed name that contains "%1" stays as typed. Any other '%' is kept. The pattern is taken in
// the user's language (UserText); a piece that is itself one of the program's texts is the
// caller's to translate.
std::string ComposeText(std::string_view pattern,
                        std::initializer_list<std::string_view> pieces = {});

// The program's texts in another language: Japanese is the program's own; a translation maps
// each text or pattern, as it stands in the program, to the user's language.
class TextTranslation {
public:
    virtual ~TextTranslation() = default;
    // The translation of `text`; "" when there is none.
    virtual std::string Translate(std::string_view text) const = 0;
};

// Shows every text through `translation` from now on; nullptr (the start) shows the program's
// own texts. Set once at start-up; `translation` must outlive every text shown.
void UseTranslation(const TextTranslation* translation);

// `text` as the user reads it: its translation, else the text itself. The views call this for
// each message they show, the windows for their labels; ComposeText for its pattern.
std::string UserText(std::string_view text);

}  // namespace norvo
