#include "cli/clitranslator.h"

#include <cstring>

namespace {

struct Translation
{
    const char *source;
    const char *german;
};

constexpr const char *kParserContext = "QCommandLineParser";

constexpr Translation kParserTexts[] = {
    {"Usage: %1", "Aufruf: %1"},
    {"Options:", "Optionen:"},
    {"Arguments:", "Argumente:"},
    {"[options]", "[Optionen]"},
    {"Unknown option '%1'.", "Unbekannte Option '%1'."},
    {"Unknown options: %1.", "Unbekannte Optionen: %1."},
    {"Missing value after '%1'.", "Fehlender Wert nach '%1'."},
    {"Unexpected value after '%1'.", "Unerwarteter Wert nach '%1'."},
};

} // namespace

bool CliTranslator::isEmpty() const
{
    return false;
}

QString CliTranslator::translate(const char *context, const char *sourceText, const char *, int) const
{
    if (!context || !sourceText || std::strcmp(context, kParserContext) != 0)
        return QString();
    for (const Translation &t : kParserTexts) {
        if (std::strcmp(sourceText, t.source) == 0)
            return QString::fromUtf8(t.german);
    }
    return QString();
}
