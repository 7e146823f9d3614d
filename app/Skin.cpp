#include "app/Skin.h"

#include "core/TapewrenError.h"

#include <QFile>
#include <QStringDecoder>

namespace {
constexpr int FileNotFound = 53;
constexpr int BadFileFormat = 321;
constexpr int InvalidHandle = 5;
} // namespace

void Skin::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TapewrenError(FileNotFound, QStringLiteral("无法读取皮肤文件：%1").arg(path));
    if (file.size() > MaxFileSize)
        throw TapewrenError(BadFileFormat, QStringLiteral("皮肤文件过大：%1").arg(path));
    const QByteArray bytes = file.read(MaxFileSize + 1);
    if (bytes.size() > MaxFileSize)
        throw TapewrenError(BadFileFormat, QStringLiteral("皮肤文件过大：%1").arg(path));
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError() || text.contains(QChar(0)))
        throw TapewrenError(BadFileFormat, QStringLiteral("皮肤文件不是 UTF-8 文本：%1").arg(path));
    m_styleSheet = std::move(text);
}

void Skin::apply(WId window) const
{
    QWidget *widget = QWidget::find(window);
    if (!widget)
        throw TapewrenError(InvalidHandle, QStringLiteral("找不到要应用皮肤的窗口"));
    widget->setStyleSheet(m_styleSheet);
}
