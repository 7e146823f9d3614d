#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

class QIODevice;

// Walks the chunk structure of a WAV-family file (RIFF, RIFX, RF64, Sony Wave64) before
// libsndfile sees it, and refuses what is not one or does not add up: no format or data chunk,
// absurd channel counts or rates, chunks running past the end of the file.
class WaveHeaderCheck
{
public:
    // Where the sound data of a file that looks sound lies.
    struct Layout
    {
        qint64 dataOffset = 0;
        qint64 dataBytes = 0;
        bool bigEndian = false;
    };
    static Result<Layout> check(QIODevice &file);

    static constexpr int maxChannels = 64;
    static constexpr int minSampleRate = 1000;
    static constexpr int maxSampleRate = 768000;

private:
    explicit WaveHeaderCheck(QIODevice &file);

    Result<Layout> checkRiff();
    Result<Layout> checkWave64();
    Result<> checkFormat(qint64 offset, quint64 size);
    bool readAt(qint64 offset, int bytes, QByteArray *out);
    quint32 u32(const QByteArray &bytes, int at) const;
    quint16 u16(const QByteArray &bytes, int at) const;
    quint64 u64(const QByteArray &bytes, int at) const;

    QIODevice &m_file;
    qint64 m_fileSize = 0;
    bool m_bigEndian = false;
};
