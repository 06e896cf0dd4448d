// Paints the viewer's skin "ui_r" (frame pieces and their masks, the no-signal picture, the
// buttons, the status icons and the splash picture) as BMP files into the given folder. Run by
// the build, so that the repository holds this painter instead of the pictures.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cstdio>
#include <functional>

namespace {

const QColor kFrame(0x1f, 0x29, 0x33);
const QColor kFrameLight(0x32, 0x3f, 0x4b);
const QColor kAccent(0x14, 0xb8, 0xa6);
const QColor kInk(0xe6, 0xed, 0xf3);
const QColor kRecord(0xef, 0x44, 0x44);
const QColor kMotion(0xf5, 0x9e, 0x0b);

constexpr int kEdge = 6;       // frame thickness
constexpr int kCorner = 12;    // corner pieces are square
constexpr int kButton = 28;    // skin and camera buttons
constexpr int kIcon = 16;      // status icons

bool save(const QImage& image, const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    // 24-bit BMP: every reader takes it.
    if (!image.convertToFormat(QImage::Format_RGB888).save(path, "BMP")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QImage canvas(int width, int height, const QColor& fill)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

void paint(QImage& image, const std::function<void(QPainter&)>& draw)
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
}

QImage framePiece(int width, int height, bool vertical)
{
    QImage image = canvas(width, height, kFrame);
    paint(image, [&](QPainter& p) {
        QLinearGradient shade(0, 0, vertical ? width : 0, vertical ? 0 : height);
        shade.setColorAt(0, kFrameLight);
        shade.setColorAt(1, kFrame);
        p.fillRect(image.rect(), shade);
    });
    return image;
}

// Masks: white where the window is, black where it is cut away (the rounded outer corners).
QImage cornerMask(bool right, bool bottom)
{
    QImage image = canvas(kCorner, kCorner, Qt::black);
    paint(image, [&](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        const QRectF round(right ? -kCorner : 0, bottom ? -kCorner : 0, 2 * kCorner, 2 * kCorner);
        p.drawRoundedRect(round, kCorner, kCorner);
    });
    return image;
}

QImage button(const std::function<void(QPainter&, const QRectF&)>& glyph, const QColor& face = kFrameLight)
{
    QImage image = canvas(kButton, kButton, kFrame);
    paint(image, [&](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(face);
        p.drawRoundedRect(QRectF(1, 1, kButton - 2, kButton - 2), 6, 6);
        p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        glyph(p, QRectF(7, 7, kButton - 14, kButton - 14));
    });
    return image;
}

QImage textButton(const QString& text)
{
    return button([&](QPainter& p, const QRectF& r) {
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(13);
        p.setFont(font);
        p.drawText(r.adjusted(-4, -4, 4, 4), Qt::AlignCenter, text);
    });
}

QImage arrowButton(qreal angleDegrees)
{
    return button([&](QPainter& p, const QRectF& r) {
        p.translate(r.center());
        p.rotate(angleDegrees);
        p.setBrush(kInk);
        p.drawPolygon(QPolygonF({ QPointF(6, 0), QPointF(-4, -6), QPointF(-4, 6) }));
    });
}

QImage icon(const std::function<void(QPainter&)>& glyph)
{
    QImage image = canvas(kIcon, kIcon, kFrame);
    paint(image, glyph);
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SKIN_FOLDER\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    bool ok = true;

    struct Piece {
        const char* name;
        int width;
        int height;
        bool vertical;
        bool right;
        bool bottom;
        bool corner;
    };
    const Piece pieces[] = {
        { "Left_Top", kCorner, kCorner, false, false, false, true },
        { "Top", kCorner, kEdge, false, false, false, false },
        { "Right_Top", kCorner, kCorner, false, true, false, true },
        { "Left", kEdge, kCorner, true, false, false, false },
        { "Right", kEdge, kCorner, true, true, false, false },
        { "Left_Bottom", kCorner, kCorner, false, false, true, true },
        { "Bottom", kCorner, kEdge, false, false, true, false },
        { "Right_Bottom", kCorner, kCorner, false, true, true, true },
    };
    for (const Piece& piece : pieces) {
        ok &= save(framePiece(piece.width, piece.height, piece.vertical), root + "/" + piece.name + ".bmp");
        const QImage mask = piece.corner ? cornerMask(piece.right, piece.bottom) : canvas(piece.width, piece.height, Qt::white);
        ok &= save(mask, root + "/Mask/" + piece.name + ".bmp");
    }

    QImage noSignal = canvas(320, 240, QColor(0x11, 0x18, 0x20));
    paint(noSignal, [](QPainter& p) {
        p.setPen(QPen(kFrameLight, 3));
        p.drawEllipse(QPointF(160, 100), 34, 34);
        p.drawLine(QPointF(136, 124), QPointF(184, 76));
        QFont font = p.font();
        font.setPixelSize(16);
        p.setFont(font);
        p.setPen(kInk);
        p.drawText(QRectF(0, 150, 320, 30), Qt::AlignCenter, "No video");
    });
    ok &= save(noSignal, root + "/NoSignal.bmp");

    // Skin buttons.
    ok &= save(button([](QPainter& p, const QRectF& r) {
        p.drawEllipse(r.adjusted(0, 0, -4, -4));
        p.drawLine(r.bottomRight() - QPointF(5, 5), r.bottomRight());
    }), root + "/Btn/Btn_Search.bmp");
    ok &= save(button([](QPainter& p, const QRectF& r) {
        p.drawRoundedRect(r.adjusted(0, 3, 0, 0), 2, 2);
        p.drawEllipse(r.center() + QPointF(0, 1.5), 3.5, 3.5);
    }), root + "/Btn/Btn_Snap.bmp");
    ok &= save(button([](QPainter& p, const QRectF& r) {
        p.setPen(Qt::NoPen);
        p.setBrush(kRecord);
        p.drawEllipse(r.center(), 6, 6);
    }), root + "/Btn/Btn_Record.bmp");
    ok &= save(button([](QPainter& p, const QRectF& r) {
        p.drawArc(r, 40 * 16, 280 * 16);
        p.drawLine(QPointF(r.center().x(), r.top() - 1), r.center());
    }, kAccent.darker(140)), root + "/Btn/Btn_Connect.bmp");
    ok &= save(button([](QPainter& p, const QRectF& r) {
        p.drawLine(r.topLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomLeft());
    }), root + "/Btn/Btn_Close.bmp");
    ok &= save(button([](QPainter& p, const QRectF& r) { p.drawRect(r.adjusted(1, 1, -1, -1)); }), root + "/Btn/Btn_Restore.bmp");
    ok &= save(button([](QPainter& p, const QRectF& r) { p.drawLine(r.bottomLeft(), r.bottomRight()); }), root + "/Btn/Btn_Min.bmp");
    ok &= save(button([](QPainter& p, const QRectF& r) {
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(r.left(), r.top() + 2 + i * 5), QPointF(r.right(), r.top() + 2 + i * 5));
    }), root + "/Btn/Btn_Switch.bmp");

    // Camera and PTZ rows.
    for (int camera = 1; camera <= 4; ++camera)
        ok &= save(textButton(QString::number(camera)), root + QString("/btn/camera%1.bmp").arg(camera));
    ok &= save(arrowButton(180), root + "/btn/pan_left.bmp");
    ok &= save(arrowButton(0), root + "/btn/pan_right.bmp");
    ok &= save(arrowButton(-90), root + "/btn/tilt_up.bmp");
    ok &= save(arrowButton(90), root + "/btn/tilt_down.bmp");
    ok &= save(textButton("+"), root + "/btn/zoom_in.bmp");
    ok &= save(textButton("-"), root + "/btn/zoom_out.bmp");

    // Status icons.
    ok &= save(icon([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawRoundedRect(QRectF(1, 4, 10, 8), 2, 2);
        p.drawPolygon(QPolygonF({ QPointF(11, 8), QPointF(15, 5), QPointF(15, 11) }));
    }), root + "/Icon/Icon_Video.bmp");
    ok &= save(icon([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawRoundedRect(QRectF(1, 4, 10, 8), 2, 2);
        p.setBrush(kInk);
        p.drawPolygon(QPolygonF({ QPointF(12, 3), QPointF(15, 8), QPointF(12, 13) }));
    }), root + "/Icon/Icon_Video_PTZ.bmp");
    ok &= save(icon([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        p.drawRect(QRectF(3, 6, 3, 4));
        p.drawPolygon(QPolygonF({ QPointF(6, 6), QPointF(11, 2), QPointF(11, 14), QPointF(6, 10) }));
    }), root + "/Icon/Icon_Audio.bmp");
    ok &= save(icon([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kRecord);
        p.drawEllipse(QPointF(8, 8), 5, 5);
    }), root + "/Icon/Icon_Record.bmp");
    ok &= save(icon([](QPainter& p) {
        p.setPen(QPen(kMotion, 2));
        p.drawLine(QPointF(2, 8), QPointF(5, 8));
        p.drawLine(QPointF(5, 8), QPointF(8, 2));
        p.drawLine(QPointF(8, 2), QPointF(10, 14));
        p.drawLine(QPointF(10, 14), QPointF(14, 8));
    }), root + "/Icon/Icon_Motion.bmp");
    for (int phase = 1; phase <= 2; ++phase) {
        ok &= save(icon([phase](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(phase == 1 ? kAccent : kAccent.darker(160));
            p.drawRect(QRectF(2, 9, 3, 5));
            p.setBrush(phase == 2 ? kAccent : kAccent.darker(160));
            p.drawRect(QRectF(7, 5, 3, 9));
            p.setBrush(phase == 1 ? kAccent : kAccent.darker(160));
            p.drawRect(QRectF(12, 2, 3, 12));
        }), root + QString("/Icon/Icon_Con_%1.bmp").arg(phase));
    }

    QImage splash = canvas(360, 90, kFrame);
    paint(splash, [](QPainter& p) {
        QLinearGradient shade(0, 0, 360, 0);
        shade.setColorAt(0, kFrame);
        shade.setColorAt(1, kAccent.darker(200));
        p.fillRect(QRect(0, 0, 360, 90), shade);
        QFont font = p.font();
        font.setPixelSize(26);
        font.setBold(true);
        p.setFont(font);
        p.setPen(kInk);
        p.drawText(QRectF(20, 0, 340, 90), Qt::AlignVCenter | Qt::AlignLeft, "vyremote");
    });
    ok &= save(splash, root + "/../Splash.bmp");
    return ok ? 0 : 1;
}
