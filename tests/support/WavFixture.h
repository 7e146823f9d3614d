#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// Sound files for tests, written and read with libsndfile directly, past the code under test.
// Integer encodings go through the int path, floating ones through the double path.
class WavFixture
{
public:
    struct Samples
    {
        int sampleRate = 0;
        int channels = 0;
        int format = 0;
        std::vector<int> ints;       // left-justified 32-bit, for integer encodings
        std::vector<double> doubles; // for float and double encodings
        qint64 frames() const;
    };

    static bool isFloating(int format);
    // A test signal: a sweep with noise, full scale or near it, on every channel differently.
    static Samples signal(int format, int sampleRate, int channels, qint64 frames);
    // Writes samples with libsndfile; false on failure.
    static bool write(const QString &path, const Samples &samples);
    // Reads a whole file; frames() is 0 when it could not be read.
    static Samples read(const QString &path);
    // Samples [from, to) of samples, as a new Samples.
    static Samples slice(const Samples &samples, qint64 from, qint64 to);
    static void append(Samples &to, const Samples &from);
};
