#include "media/take/TakeJournal.h"

#include "media/MediaTexts.h"
#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <fcntl.h>

namespace {

constexpr int journalVersion = 1;
// Far more than any journal: a piece for every take of a very long session.
constexpr qint64 maxJournalBytes = 16 << 20;

Failure unreadable()
{
    return Failure(QStringLiteral(u"录音日志无法读取"));
}

Failure failure(int errorNumber)
{
    const Failure cause = MediaTexts::systemFailure(errorNumber);
    return Failure(cause.kind,
                   QStringLiteral(u"无法写入录音日志（") + cause.reason + QStringLiteral(u"）"));
}

} // namespace

QByteArray TakeJournal::toJson() const
{
    QJsonArray pieceList;
    for (const WavePiece &piece : pieces) {
        pieceList.append(QJsonObject{
                {"source", piece.source == WavePiece::File ? "file" : "spool"},
                {"start", double(piece.start)},
                {"frames", double(piece.frames)},
        });
    }
    QJsonObject root{
            {"version", journalVersion},
            {"started", started.toString(Qt::ISODateWithMs)},
            {"sampleRate", format.sampleRate()},
            {"channels", format.channels()},
            {"sndfileFormat", format.sndfileFormat()},
            {"pieces", pieceList},
            {"growingPiece", growingPiece},
            {"saved", saved},
    };
    if (!filePath.isEmpty()) {
        root.insert("file",
                    QJsonObject{{"path", filePath},
                                {"size", double(fileSize)},
                                {"modifiedMs", double(fileModifiedMs)}});
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

Result<TakeJournal> TakeJournal::fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const QJsonObject root = document.object();
    if (error.error != QJsonParseError::NoError || root.value("version").toInt() != journalVersion)
        return unreadable();

    TakeJournal journal;
    journal.started = QDateTime::fromString(root.value("started").toString(), Qt::ISODateWithMs);
    journal.format = WaveFormat(root.value("sampleRate").toInt(),
                                root.value("channels").toInt(),
                                root.value("sndfileFormat").toInt());
    const QJsonObject file = root.value("file").toObject();
    journal.filePath = file.value("path").toString();
    journal.fileSize = qint64(file.value("size").toDouble());
    journal.fileModifiedMs = qint64(file.value("modifiedMs").toDouble());
    for (const QJsonValue &value : root.value("pieces").toArray()) {
        const QJsonObject piece = value.toObject();
        const QString source = piece.value("source").toString();
        if (source != u"file" && source != u"spool")
            return unreadable();
        journal.pieces.push_back({source == u"file" ? WavePiece::File : WavePiece::Spool,
                                  qint64(piece.value("start").toDouble()),
                                  qint64(piece.value("frames").toDouble())});
    }
    journal.growingPiece = root.value("growingPiece").toInt(-1);
    journal.saved = root.value("saved").toBool();
    if (journal.format.sampleRate() <= 0 || journal.format.channels() <= 0
        || journal.growingPiece >= int(journal.pieces.size()))
        return unreadable();
    return journal;
}

Result<> TakeJournal::write(const QString &path, FileSystem &fileSystem) const
{
    // Only the holder of the spool writes its journal, so the file it is made in has a fixed
    // name; like the spool, it is for the owner alone.
    const QByteArray target = QFile::encodeName(path);
    const QByteArray next = target + ".new";
    const QByteArray json = toJson();
    UniqueFd fd(::open(next.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.isValid() || !fileSystem.writeAll(fd.get(), json.constData(), json.size(), 0)
        || !fileSystem.fdatasync(fd.get()) || !fd.close() || !fileSystem.rename(next, target)
        || !fileSystem.syncFolder(QFile::encodeName(QFileInfo(path).absolutePath())))
        return failure(errno);
    return {};
}

QString TakeJournal::nextPathFor(const QString &path)
{
    return path + QStringLiteral(".new");
}

Result<TakeJournal> TakeJournal::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxJournalBytes)
        return unreadable();
    return fromJson(file.readAll());
}
