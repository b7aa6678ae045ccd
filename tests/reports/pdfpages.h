#pragma once
// Reads a PDF back through poppler's command-line tools.
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

inline QString runTool(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline int pdfPageCount(const QString &pdf)
{
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(runTool(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

inline QString pdfPageText(const QString &pdf, int page)
{
    const QString p = QString::number(page);
    return runTool(QStringLiteral("pdftotext"), {QStringLiteral("-f"), p, QStringLiteral("-l"), p,
                                                 QStringLiteral("-layout"), pdf, QStringLiteral("-")});
}

// Baseline-ish bottom edge (yMax, in points) of every occurrence of a word on a page.
inline QList<double> pdfWordBottoms(const QString &pdf, int page, const QString &word)
{
    const QString p = QString::number(page);
    const QString html = runTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-f"), p,
                                                               QStringLiteral("-l"), p, pdf, QStringLiteral("-")});
    QList<double> bottoms;
    const QRegularExpression re(QStringLiteral("<word xMin=\"[\\d.]+\" yMin=\"[\\d.]+\" xMax=\"[\\d.]+\" "
                                               "yMax=\"([\\d.]+)\">([^<]*)</word>"));
    for (auto it = re.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(2) == word)
            bottoms << m.captured(1).toDouble();
    }
    return bottoms;
}
