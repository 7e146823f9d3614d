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
// The Save dialog's formats, WAV first (the default); the format follows the file's extension.
inline const QString SaveFilter = QStringLiteral(
        "*.wav|*.wav|FLAC 无损音频|*.flac|MP3 音频|*.mp3|Ogg Vorbis 音频|*.ogg|Opus 音频|*.opus");
// The Open dialog shows every format it opens first, then WAV alone.
inline const QString OpenFilter = QStringLiteral(
        "所有支持的音频|*.wav;*.flac;*.mp3;*.ogg;*.opus|*.wav|*.wav");
inline const QString MessageTitle = QStringLiteral("Tapewren音频录音机");

// What the boxes say when something cannot be done or goes wrong by itself, each one sentence
// that names its subject once; %1 and %2 are the file and the media control's reason.
inline const QString RecordingBrokeOff = QStringLiteral(
        "录音已中断：%1。已保留 %2 的录音，可以播放或保存。");
inline const QString PlaybackBrokeOff = QStringLiteral("播放已中断：%1。");
inline const QString CannotRecord = QStringLiteral("无法录音：%1。");
inline const QString CannotPlay = QStringLiteral("无法播放：%1。");
inline const QString CannotSave = QStringLiteral("无法保存文件“%1”：%2。");
inline const QString CannotOpen = QStringLiteral("无法打开文件“%1”：%2。");
inline const QString CannotRecover = QStringLiteral("无法恢复录音：%1。");
inline const QString SavingText = QStringLiteral("正在保存录音...");
inline const QString RecoveredWithoutFile = QStringLiteral(
        "录音时打开的文件“%1”已被修改或删除，只恢复了录下的声音。");

} // namespace StatusTexts
