#pragma once

#include <QString>

// The texts the recorder shows, character for character. The playback watch recognises the
// playing state only by PlayingText, so none of these may change.
namespace StatusTexts {

inline const QString NewFile = QStringLiteral("录音文件：当前录音文件为 Temp_Record_File.wav");
inline const QString RecordStartPrefix = QStringLiteral("录音开始时间为：");
inline const QString RecordStartSuffix = QStringLiteral("   (录音中...)");
inline const QString PlayingText = QStringLiteral("正在播放...");
inline const QString StoppedText = QStringLiteral("停止...");
inline const QString FilePrefix = QStringLiteral("文件：");
inline const QString WavFilter = QStringLiteral("*.wav|*.wav");
inline const QString MessageTitle = QStringLiteral("Tapewren音频录音机");

} // namespace StatusTexts
