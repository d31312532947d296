// Draws the program's pictures: the icon (one ICO with 20 images, and a PNG of it), the login
// window's background and its banner of a rack server's front panel.
// Usage: kavro-art OUTPUT_DIR
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

QImage drawIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    // The cabinet: a dark rounded body with a light-blue rim.
    QLinearGradient body(0, 0, 0, size);
    body.setColorAt(0, QColor(0x3b, 0x4b, 0x5e));
    body.setColorAt(1, QColor(0x1e, 0x29, 0x36));
    p.setPen(QPen(QColor(0x6f, 0xb4, 0xe8), std::max(1.0, 1.2 * s)));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(3 * s, 1.5 * s, 26 * s, 29 * s), 3 * s, 3 * s);
    // Three server units, each with a status light and drive slots.
    for (int u = 0; u < 3; ++u) {
        const qreal top = (4.5 + u * 8.5) * s;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xcf, 0xd8, 0xe3));
        p.drawRoundedRect(QRectF(6 * s, top, 20 * s, 6.5 * s), 1.2 * s, 1.2 * s);
        p.setBrush(u == 1 ? QColor(0xff, 0xa5, 0x1f) : QColor(0x2e, 0xcc, 0x40));
        p.drawEllipse(QPointF(9 * s, top + 3.25 * s), 1.5 * s, 1.5 * s);
        p.setBrush(QColor(0x4a, 0x5a, 0x6c));
        for (int k = 0; k < 3; ++k)
            p.drawRect(QRectF((13 + k * 4) * s, top + 1.7 * s, 3 * s, 3 * s));
    }
    return img;
}

QVector<QRgb> vgaPalette()
{
    static const QRgb colours[16] = {0xff000000, 0xff800000, 0xff008000, 0xff808000, 0xff000080, 0xff800080,
                                     0xff008080, 0xffc0c0c0, 0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00,
                                     0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff};
    return QVector<QRgb>(colours, colours + 16);
}

void put32(QByteArray &out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xff));
}
void put16(QByteArray &out, quint16 v)
{
    out.append(char(v & 0xff));
    out.append(char(v >> 8));
}

// One uncompressed DIB as an ICO stores it: header, palette, colour rows and the AND mask, bottom up.
QByteArray dib(const QImage &argb, int bits)
{
    const int w = argb.width(), h = argb.height();
    QImage indexed;
    QVector<QRgb> palette;
    if (bits == 4) {
        palette = vgaPalette();
        indexed = argb.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither | Qt::AvoidDither);
    } else if (bits == 8) {
        indexed = argb.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
        palette = indexed.colorTable();
        palette.resize(256);
    }
    const int rowBytes = ((w * bits + 31) / 32) * 4;
    const int maskBytes = ((w + 31) / 32) * 4;
    QByteArray out;
    put32(out, 40);
    put32(out, quint32(w));
    put32(out, quint32(2 * h));
    put16(out, 1);
    put16(out, quint16(bits));
    put32(out, 0);
    put32(out, quint32((rowBytes + maskBytes) * h));
    put32(out, 0);
    put32(out, 0);
    put32(out, bits <= 8 ? quint32(1 << bits) : 0);
    put32(out, 0);
    for (QRgb c : palette) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append(char(0));
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(rowBytes, 0);
        for (int x = 0; x < w; ++x) {
            if (bits == 32) {
                const QRgb c = argb.pixel(x, y);
                row[4 * x] = char(qBlue(c));
                row[4 * x + 1] = char(qGreen(c));
                row[4 * x + 2] = char(qRed(c));
                row[4 * x + 3] = char(qAlpha(c));
            } else if (bits == 8) {
                row[x] = char(indexed.pixelIndex(x, y));
            } else {
                const int v = indexed.pixelIndex(x, y) & 0x0f;
                row[x / 2] = char(row[x / 2] | (x % 2 ? v : v << 4));
            }
        }
        out.append(row);
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskBytes, 0);
        for (int x = 0; x < w; ++x)
            if (qAlpha(argb.pixel(x, y)) < 128)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        out.append(row);
    }
    return out;
}

bool writeIcon(const QString &path)
{
    struct Entry {
        int size, bits;
    };
    QList<Entry> entries;
    for (int bits : {4, 8})
        for (int size : {256, 48, 32, 24, 16})
            entries.append({size, bits});
    for (int size : {256, 128, 96, 80, 72, 64, 48, 32, 24, 16})
        entries.append({size, 32});

    QList<QByteArray> images;
    for (const Entry &e : entries)
        images.append(dib(drawIcon(e.size), e.bits));
    QByteArray out;
    put16(out, 0);
    put16(out, 1);
    put16(out, quint16(entries.size()));
    quint32 offset = 6 + 16 * quint32(entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        out.append(char(e.size >= 256 ? 0 : e.size));
        out.append(char(e.size >= 256 ? 0 : e.size));
        out.append(char(e.bits == 4 ? 16 : 0));
        out.append(char(0));
        put16(out, 1);
        put16(out, quint16(e.bits));
        put32(out, quint32(images[i].size()));
        put32(out, offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray &img : images)
        out.append(img);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

QImage drawBackground()
{
    QImage img(299, 169, QImage::Format_RGB32);
    QPainter p(&img);
    p.fillRect(0, 0, 299, 85, QColor(0xdd, 0xec, 0xf8));
    p.fillRect(0, 85, 299, 84, QColor(0xc8, 0xdf, 0xf2));
    return img;
}

QImage drawBanner()
{
    QImage img(431, 119, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 119);
    sky.setColorAt(0, QColor(0x2a, 0x4d, 0x74));
    sky.setColorAt(1, QColor(0x14, 0x27, 0x3d));
    p.fillRect(img.rect(), sky);
    // The server's front panel: a brushed-metal 2U face with rack ears.
    const QRectF face(18, 22, 395, 76);
    QLinearGradient metal(0, face.top(), 0, face.bottom());
    metal.setColorAt(0, QColor(0xe4, 0xe8, 0xec));
    metal.setColorAt(0.5, QColor(0xb9, 0xc1, 0xca));
    metal.setColorAt(1, QColor(0x8e, 0x98, 0xa3));
    p.setPen(QPen(QColor(0x4d, 0x57, 0x62), 1.5));
    p.setBrush(metal);
    p.drawRoundedRect(face, 4, 4);
    p.setBrush(QColor(0x9a, 0xa3, 0xad));
    for (qreal x : {6.0, 413.0}) {
        p.drawRoundedRect(QRectF(x, 20, 12, 80), 2, 2);
        p.setBrush(QColor(0x33, 0x3a, 0x42));
        p.drawEllipse(QPointF(x + 6, 32), 2.5, 2.5);
        p.drawEllipse(QPointF(x + 6, 88), 2.5, 2.5);
        p.setBrush(QColor(0x9a, 0xa3, 0xad));
    }
    // Eight drive bays in two rows, each with a handle and two lights.
    for (int row = 0; row < 2; ++row) {
        for (int bay = 0; bay < 4; ++bay) {
            const QRectF r(32 + bay * 56, 30 + row * 33, 52, 28);
            p.setPen(QPen(QColor(0x3a, 0x42, 0x4b), 1));
            p.setBrush(QColor(0x55, 0x5f, 0x6a));
            p.drawRoundedRect(r, 2, 2);
            p.setBrush(QColor(0x2b, 0x31, 0x38));
            for (int k = 0; k < 5; ++k)
                p.drawRect(QRectF(r.left() + 5 + k * 6, r.top() + 5, 3, 18));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x32, 0xe0, 0x5a));
            p.drawEllipse(QPointF(r.right() - 8, r.top() + 8), 2.2, 2.2);
            p.setBrush((bay + row) % 3 == 0 ? QColor(0xff, 0xb0, 0x2a) : QColor(0x3a, 0x9b, 0xff));
            p.drawEllipse(QPointF(r.right() - 8, r.bottom() - 8), 2.2, 2.2);
        }
    }
    // Vent grille, display and power button on the right.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4a, 0x53, 0x5d));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x)
            p.drawEllipse(QPointF(268 + x * 8, 36 + y * 9), 2.2, 2.2);
    p.setBrush(QColor(0x10, 0x2a, 0x22));
    p.drawRoundedRect(QRectF(350, 32, 50, 18), 2, 2);
    p.setPen(QColor(0x4c, 0xff, 0x9a));
    QFont mono(QStringLiteral("Monospace"));
    mono.setPixelSize(11);
    p.setFont(mono);
    p.drawText(QRectF(350, 32, 50, 18), Qt::AlignCenter, QStringLiteral("ONLINE"));
    p.setPen(QPen(QColor(0x2e, 0x36, 0x3f), 1.5));
    p.setBrush(QColor(0xd9, 0xde, 0xe3));
    p.drawEllipse(QPointF(375, 76), 10, 10);
    p.setPen(QPen(QColor(0x2e, 0xa8, 0xff), 2));
    p.drawArc(QRectF(369, 70, 12, 12), 120 * 16, 300 * 16);
    p.drawLine(QPointF(375, 68), QPointF(375, 75));
    return img;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kavro-art OUTPUT_DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    bool ok = writeIcon(dir.filePath(QStringLiteral("kavro.ico")));
    ok = drawIcon(256).save(dir.filePath(QStringLiteral("kavro.png"))) && ok;
    ok = drawBackground().save(dir.filePath(QStringLiteral("login-background.png"))) && ok;
    ok = drawBanner().save(dir.filePath(QStringLiteral("banner.png"))) && ok;
    return ok ? 0 : 1;
}
