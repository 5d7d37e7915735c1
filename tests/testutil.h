// Shared test helpers: a private settings store per test program, the
// committed test data, files written or touched, and pictures drawn here.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

// Points the settings store at a fresh directory before anything opens it.
struct ScratchConfig {
    QTemporaryDir dir;
    ScratchConfig() { qputenv("XDG_CONFIG_HOME", dir.path().toUtf8()); }
    QString file() const { return dir.path() + "/Velmiworks/Velmirano.conf"; }
};

#ifdef VELMIRANO_TEST_DATA
// A file of tests/data (see data/make-testdata.sh).
inline QString testData(const QString& name) { return QStringLiteral(VELMIRANO_TEST_DATA "/") + name; }
#endif

inline bool writeFile(const QString& path, const QByteArray& bytes = {})
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QImage solid(int w, int h, QRgb colour)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

// Four quadrants: red, green / blue, yellow.
inline QImage quadrants(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, y < h / 2 ? (x < w / 2 ? 0xFFD02020 : 0xFF20C040) : (x < w / 2 ? 0xFF2040D0 : 0xFFF0E040));
    return img;
}

// Every pixel different from its neighbours: nothing to compress.
inline QImage noise(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(x * 7 % 256, y * 5 % 256, (x ^ y) % 256));
    return img;
}
