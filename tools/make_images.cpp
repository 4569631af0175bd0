// Draws the program's pictures into resources/images: the menu glyph, the
// notification-area icon, the application icon and the two top images, each
// at its own size and at twice that size for dense screens.
//
//     talery-images OUTPUT_FOLDER

#include <QCoreApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Draw = std::function<void(QPainter&)>;

// Draws in a logical size and saves the picture at `scale` times it.
bool save(const QString& folder, const QString& name, QSize logical, int scale, const Draw& draw,
          bool opaque = false) {
    QImage image(logical * scale, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    draw(p);
    p.end();
    const QString file = folder + QLatin1Char('/') + name + (scale == 2 ? QStringLiteral("@2x") : QString()) +
                         QStringLiteral(".png");
    if (!image.save(file, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    return true;
}

// A fixed sequence, so that the pictures come out the same every time.
struct Sequence {
    std::uint32_t state = 12345;
    double next() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / double(1u << 24);
    }
};

const QColor kInk(0x0B, 0x4F, 0xA8);
const QColor kSky(0x2F, 0x80, 0xED);

// The menu glyph: three bars on a rounded square, drawn on whole pixels.
void menuGlyph(QPainter& p) {
    QLinearGradient g(0, 2, 0, 22);
    g.setColorAt(0, kSky);
    g.setColorAt(1, kInk);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 2, 20, 20), 5, 5);
    p.setBrush(Qt::white);
    for (int y : {7, 11, 15}) p.drawRoundedRect(QRectF(6, y, 12, 2), 1, 1);
}

// The program's mark: a pen nib on a blue rounded square, in a 100-unit box.
void mark(QPainter& p, double size) {
    p.save();
    p.scale(size / 100.0, size / 100.0);
    QLinearGradient g(0, 0, 0, 100);
    g.setColorAt(0, kSky);
    g.setColorAt(1, kInk);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(4, 4, 92, 92), 22, 22);

    QPainterPath nib;
    nib.moveTo(50, 86);
    nib.cubicTo(42, 74, 29, 60, 29, 47);
    nib.lineTo(34, 33);
    nib.lineTo(66, 33);
    nib.lineTo(71, 47);
    nib.cubicTo(71, 60, 58, 74, 50, 86);
    nib.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(nib);
    p.drawRoundedRect(QRectF(36, 17, 28, 12), 3, 3);
    p.setBrush(kInk);
    p.drawEllipse(QPointF(50, 52), 5.5, 5.5);
    p.setPen(QPen(kInk, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(50, 57), QPointF(50, 82));
    p.restore();
}

// Picture 1: light falling through a gap in a night sky.
void topImage1(QPainter& p) {
    const QRectF r(0, 0, 1120, 64);
    QLinearGradient sky(r.topLeft(), r.topRight());
    sky.setColorAt(0, QColor(0x08, 0x10, 0x26));
    sky.setColorAt(0.55, QColor(0x12, 0x24, 0x4C));
    sky.setColorAt(1, QColor(0x1E, 0x3A, 0x6E));
    p.fillRect(r, sky);

    QRadialGradient glow(QPointF(900, -10), 260);
    glow.setColorAt(0, QColor(255, 236, 190, 150));
    glow.setColorAt(0.35, QColor(255, 220, 160, 60));
    glow.setColorAt(1, QColor(255, 220, 160, 0));
    p.fillRect(r, glow);

    // Beams fanning out from the gap, each fading as it falls.
    p.setPen(Qt::NoPen);
    const double beams[][3] = {{560, 18, 0.20}, {650, 26, 0.16}, {735, 14, 0.22}, {810, 30, 0.12}, {1010, 22, 0.14}};
    for (const auto& b : beams) {
        QPainterPath beam;
        beam.moveTo(900 - 6, -4);
        beam.lineTo(900 + 6, -4);
        beam.lineTo(b[0] + b[1], 70);
        beam.lineTo(b[0] - b[1], 70);
        beam.closeSubpath();
        QLinearGradient fade(QPointF(900, 0), QPointF(b[0], 64));
        fade.setColorAt(0, QColor(255, 240, 200, int(255 * b[2])));
        fade.setColorAt(1, QColor(255, 240, 200, 0));
        p.setBrush(fade);
        p.drawPath(beam);
    }

    // Stars, fewer where the light is.
    Sequence seq;
    for (int i = 0; i < 90; ++i) {
        const double x = seq.next() * 1120, y = seq.next() * 60 + 2, a = seq.next();
        if (x > 760 && seq.next() < 0.8) continue;
        p.setBrush(QColor(255, 255, 255, int(60 + 150 * a)));
        const double radius = a > 0.92 ? 1.1 : 0.6;
        p.drawEllipse(QPointF(x, y), radius, radius);
    }

    // A thin bright rim at the foot of the strip.
    QLinearGradient rim(r.topLeft(), r.topRight());
    rim.setColorAt(0, QColor(120, 170, 255, 0));
    rim.setColorAt(0.8, QColor(255, 230, 180, 140));
    rim.setColorAt(1, QColor(255, 230, 180, 40));
    p.fillRect(QRectF(0, 63, 1120, 1), rim);
}

// A mountain ridge across the strip by midpoint displacement.
QPainterPath ridge(Sequence& seq, double base, double roughness, double height) {
    std::vector<double> y(129, base);
    y[0] = base - height * seq.next();
    y[128] = base - height * seq.next();
    for (int step = 64; step >= 1; step /= 2) {
        for (int i = step; i < 128; i += 2 * step)
            y[i] = (y[i - step] + y[i + step]) / 2 - (seq.next() - 0.45) * height * roughness * std::pow(step / 64.0, 0.6);
    }
    QPainterPath path;
    path.moveTo(0, 70);
    for (int i = 0; i <= 128; ++i) path.lineTo(i * 1120.0 / 128, y[i]);
    path.lineTo(1120, 70);
    path.closeSubpath();
    return path;
}

// Picture 2: ranges of mountains at dusk, a heroic far country.
void topImage2(QPainter& p) {
    const QRectF r(0, 0, 1120, 64);
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(0x1B, 0x12, 0x33));
    sky.setColorAt(0.6, QColor(0x5A, 0x2E, 0x4A));
    sky.setColorAt(1, QColor(0xB0, 0x5A, 0x38));
    p.fillRect(r, sky);
    QRadialGradient sun(QPointF(820, 52), 220);
    sun.setColorAt(0, QColor(255, 200, 120, 200));
    sun.setColorAt(0.25, QColor(255, 160, 90, 90));
    sun.setColorAt(1, QColor(255, 140, 80, 0));
    p.fillRect(r, sun);

    Sequence seq;
    seq.state = 2015;
    p.setPen(Qt::NoPen);
    const QColor layers[] = {QColor(0x6E, 0x3A, 0x55), QColor(0x43, 0x24, 0x40), QColor(0x1E, 0x12, 0x26)};
    const double bases[] = {38, 50, 60};
    const double heights[] = {24, 16, 10};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(layers[i]);
        p.drawPath(ridge(seq, bases[i], 1.6, heights[i]));
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: talery-images OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    for (int scale : {1, 2}) {
        ok &= save(out, QStringLiteral("menu"), {24, 24}, scale, menuGlyph);
        ok &= save(out, QStringLiteral("tray"), {64, 64}, scale, [](QPainter& p) { mark(p, 64); });
        ok &= save(out, QStringLiteral("top1"), {1120, 64}, scale, topImage1, true);
        ok &= save(out, QStringLiteral("top2"), {1120, 64}, scale, topImage2, true);
    }
    for (int size : {16, 32, 48, 64, 128, 256})
        ok &= save(out, QStringLiteral("icon-%1").arg(size), {size, size}, 1, [size](QPainter& p) { mark(p, size); });
    return ok ? 0 : 1;
}
