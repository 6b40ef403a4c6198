#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;

// Plays WAV files asynchronously with the system's command-line player
// ("aplay -q <file>"): a new sound ends the one still playing. Where the file
// is missing nothing is played; where the player or a sound device is missing
// nothing is played either, and unavailable() says so once.
class SoundPlayer : public QObject {
    Q_OBJECT
public:
    explicit SoundPlayer(QObject* parent = nullptr);
    // Another player program and its options before the file (tests).
    SoundPlayer(const QString& program, const QStringList& options, QObject* parent = nullptr);
    ~SoundPlayer() override;

    void play(const QString& path);
    void stop();
    bool isPlaying() const;
    bool available() const { return !m_program.isEmpty(); }

signals:
    // Sounds cannot be played on this machine; emitted once, with the reason.
    void unavailable(const QString& reason);

private:
    void reportUnavailable(const QString& reason);

    QString m_program;
    QString m_programName;
    bool m_reported = false;
    QStringList m_options;
    QProcess* m_current = nullptr;
};
