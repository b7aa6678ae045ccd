#pragma once

#include <QTranslator>

// German texts for what QCommandLineParser writes itself (help frame and
// parse errors), so the whole front end speaks German like the window.
class CliTranslator : public QTranslator
{
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override;
    QString translate(const char *context, const char *sourceText, const char *disambiguation = nullptr,
                      int n = -1) const override;
};
