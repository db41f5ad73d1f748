// Draws the program's icons into PNG files. The PNGs are kept in the tree;
// run this (target shotdate_draw_icons) only to change the drawings:
//   shotdate_draw_icons <gui-icons-folder> <packaging-icons-folder>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

QImage canvas(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Finished: a green disc with a white tick.
QImage drawSpacer(int size)
{
    QImage image = canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0x9d, 0x4f));
    p.drawEllipse(QRectF(3, 3, 42, 42));
    QPen tick(Qt::white, 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(tick);
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(14, 25);
    path.lineTo(21, 32);
    path.lineTo(34, 17);
    p.drawPath(path);
    return image;
}

// Attention: an amber triangle with a dark exclamation mark.
QImage drawBickuri(int size)
{
    QImage image = canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    QPainterPath triangle;
    triangle.moveTo(24, 5);
    triangle.lineTo(44, 41);
    triangle.lineTo(4, 41);
    triangle.closeSubpath();
    p.setPen(QPen(QColor(0xe0, 0x8e, 0x0b), 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0xf6, 0xb0, 0x26));
    p.drawPath(triangle);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3b, 0x2a, 0x05));
    p.drawRoundedRect(QRectF(21.5, 15, 5, 15), 2.5, 2.5);
    p.drawEllipse(QRectF(21.3, 32.3, 5.4, 5.4));
    return image;
}

// The application: a camera on blue, with a clock badge for the date.
QImage drawApplication(int size)
{
    QImage image = canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    QLinearGradient bg(0, 0, 0, 256);
    bg.setColorAt(0, QColor(0x4a, 0x8b, 0xd6));
    bg.setColorAt(1, QColor(0x1d, 0x4b, 0x8a));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(12, 12, 232, 232), 44, 44);

    // Camera body with its finder hump.
    QPainterPath body;
    body.setFillRule(Qt::WindingFill);
    body.addRoundedRect(QRectF(40, 78, 176, 118), 20, 20);
    body.addRoundedRect(QRectF(92, 58, 72, 34), 10, 10);
    p.setBrush(QColor(0xf4, 0xf7, 0xfb));
    p.drawPath(body.simplified());
    p.setBrush(QColor(0x1d, 0x4b, 0x8a));
    p.drawEllipse(QPointF(128, 137), 44, 44);
    p.setBrush(QColor(0x7f, 0xb3, 0xea));
    p.drawEllipse(QPointF(128, 137), 28, 28);
    p.setBrush(QColor(0xf4, 0xf7, 0xfb));
    p.drawEllipse(QPointF(117, 126), 8, 8);
    p.setBrush(QColor(0xf6, 0xb0, 0x26));
    p.drawRoundedRect(QRectF(178, 92, 22, 12), 4, 4);

    // Clock badge.
    const QPointF c(190, 190);
    p.setBrush(QColor(0xf3, 0x8b, 0x1f));
    p.setPen(QPen(QColor(0xf4, 0xf7, 0xfb), 8));
    p.drawEllipse(c, 44, 44);
    p.setPen(QPen(QColor(0xf4, 0xf7, 0xfb), 9, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, c + QPointF(0, -26));
    p.drawLine(c, c + QPointF(20, 8));
    return image;
}

bool save(const QImage& image, const QString& folder, const QString& name)
{
    return image.save(QDir(folder).filePath(name), "PNG");
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString gui = QString::fromLocal8Bit(argv[1]);
    const QString packaging = QString::fromLocal8Bit(argv[2]);
    bool ok = save(drawSpacer(48), gui, QStringLiteral("spacer.png"))
              && save(drawSpacer(96), gui, QStringLiteral("spacer@2x.png"))
              && save(drawBickuri(48), gui, QStringLiteral("m_bickuri_Mt.png"))
              && save(drawBickuri(96), gui, QStringLiteral("m_bickuri_Mt@2x.png"));
    for (int size : {16, 24, 32, 48, 64, 128, 256, 512})
        ok = ok && save(drawApplication(size), packaging, QStringLiteral("shotdate-%1.png").arg(size));
    return ok ? 0 : 1;
}
