// Draws the program's own placeholder images (logos, icon, pictures) at the
// pixel sizes the form expects. Run once; the results are committed under
// resources/. Usage: imagegen <output directory>
#include <QGuiApplication>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

QImage canvas(int w, int h, QColor fill = Qt::white)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(fill);
    return img;
}

void wordmark(QPainter &p, const QRect &r, const QString &word, const QString &sub, QColor accent)
{
    p.setRenderHint(QPainter::Antialiasing);
    // A simple meter-dial mark on the left.
    const int d = r.height() - 24;
    QRect dial(r.left() + 10, r.top() + 12, d, d);
    p.setPen(QPen(accent, 5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(dial, 30 * 16, 300 * 16);
    p.drawLine(dial.center(), dial.center() + QPoint(d / 3, -d / 4));
    QFont f(QStringLiteral("DejaVu Sans"), 1, QFont::Bold);
    f.setPixelSize(r.height() / 3);
    p.setFont(f);
    p.setPen(QColor(40, 40, 40));
    QRect text(dial.right() + 12, r.top() + 8, r.width() - d - 30, r.height() / 2);
    p.drawText(text, Qt::AlignLeft | Qt::AlignBottom, word);
    f.setPixelSize(r.height() / 7);
    f.setBold(false);
    p.setFont(f);
    p.setPen(accent);
    p.drawText(QRect(text.left(), text.bottom() + 4, text.width(), r.height() / 3),
               Qt::AlignLeft | Qt::AlignTop, sub);
}

void saveLogoPair(const QDir &out, const QString &suffix, const QString &word, QColor accent)
{
    QImage l1 = canvas(291, 99);
    {
        QPainter p(&l1);
        wordmark(p, l1.rect(), word, QStringLiteral("Testprogramm"), accent);
    }
    l1.save(out.filePath(QStringLiteral("Logo1%1.png").arg(suffix)));

    QImage l2 = canvas(221, 99);
    {
        QPainter p(&l2);
        p.setRenderHint(QPainter::Antialiasing);
        // Reading head and converter as two rounded blocks joined by a cable.
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawRoundedRect(QRect(20, 30, 50, 40), 8, 8);
        p.setBrush(QColor(90, 90, 90));
        p.drawRoundedRect(QRect(150, 30, 50, 40), 8, 8);
        p.setPen(QPen(QColor(90, 90, 90), 4));
        QPainterPath cable(QPointF(70, 50));
        cable.cubicTo(100, 10, 120, 90, 150, 50);
        p.setBrush(Qt::NoBrush);
        p.drawPath(cable);
    }
    l2.save(out.filePath(QStringLiteral("Logo2%1.png").arg(suffix)));
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    out.mkpath(QStringLiteral("."));

    saveLogoPair(out, QString(), QStringLiteral("Viviv"), QColor(0, 85, 255));
    saveLogoPair(out, QStringLiteral("_Ruvev"), QStringLiteral("Dededodo"), QColor(0, 140, 90));
    saveLogoPair(out, QStringLiteral("_Rorozo"), QStringLiteral("Dededodo"), QColor(200, 90, 0));

    QImage icon = canvas(125, 125, Qt::transparent);
    {
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(0, 85, 255));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRect(4, 4, 117, 117));
        p.setPen(QPen(Qt::white, 10, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRect(25, 25, 75, 75), 30 * 16, 300 * 16);
        p.drawLine(QPoint(62, 62), QPoint(86, 44));
    }
    icon.save(out.filePath(QStringLiteral("Icon.png")));

    QImage refresh = canvas(16, 16, Qt::transparent);
    {
        QPainter p(&refresh);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0, 120, 0), 2));
        p.drawArc(QRect(2, 2, 12, 12), 60 * 16, 280 * 16);
        p.setBrush(QColor(0, 120, 0));
        p.setPen(Qt::NoPen);
        const QPointF tip[3] = {QPointF(9, 0), QPointF(14, 4), QPointF(9, 7)};
        p.drawPolygon(tip, 3);
    }
    refresh.save(out.filePath(QStringLiteral("Refresh2.ico")), "ICO");

    QImage head = canvas(250, 188);
    {
        QPainter p(&head);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(245, 245, 245));
        p.setPen(QPen(QColor(180, 180, 180), 1));
        p.drawRect(QRect(20, 140, 210, 30)); // the sheet of paper
        p.setBrush(QColor(60, 60, 60));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRect(90, 40, 70, 70), 10, 10); // the reading head
        p.setPen(QPen(QColor(220, 0, 0), 2, Qt::DashLine));
        p.drawLine(QPoint(110, 110), QPoint(120, 140));
        p.drawLine(QPoint(130, 140), QPoint(140, 110));
        p.setPen(QPen(QColor(60, 60, 60), 4));
        p.drawLine(QPoint(125, 40), QPoint(125, 10));
    }
    head.save(out.filePath(QStringLiteral("Lesekopftest.png")));

    QImage ad = canvas(807, 490);
    {
        QPainter p(&ad);
        QLinearGradient g(0, 0, 807, 490);
        g.setColorAt(0, QColor(0, 85, 255));
        g.setColorAt(1, QColor(0, 30, 110));
        p.fillRect(ad.rect(), g);
        p.setRenderHint(QPainter::Antialiasing);
        QFont f(QStringLiteral("DejaVu Sans"), 1, QFont::Bold);
        f.setPixelSize(54);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRect(40, 120, 727, 80), Qt::AlignLeft, QStringLiteral("Lesekopf & RS485"));
        f.setPixelSize(28);
        f.setBold(false);
        p.setFont(f);
        p.drawText(QRect(40, 210, 727, 120), Qt::AlignLeft | Qt::TextWordWrap,
                   QStringLiteral("Zubehör für Ihren Stromzähler"));
    }
    ad.save(out.filePath(QStringLiteral("Werbung.png")));
    return 0;
}
