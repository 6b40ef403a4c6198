#include "common/ui/SoundPlayer.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {
constexpr int kStopWaitMs = 1000;
} // namespace

SoundPlayer::SoundPlayer(QObject* parent) : SoundPlayer(QStringLiteral("aplay"), {QStringLiteral("-q")}, parent) {}

SoundPlayer::SoundPlayer(const QString& program, const QStringList& options, QObject* parent)
    : QObject(parent), m_program(QStandardPaths::findExecutable(program)), m_programName(program), m_options(options) {
    if (m_program.isEmpty() && QFileInfo(program).isExecutable())
        m_program = program;
}

SoundPlayer::~SoundPlayer() {
    // The sound playing and any ended one not yet reaped.
    for (QProcess* process : findChildren<QProcess*>()) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(kStopWaitMs);
        }
    }
}

void SoundPlayer::stop() {
    if (!m_current)
        return;
    QProcess* old = m_current;
    m_current = nullptr;
    if (old->state() == QProcess::NotRunning) {
        old->deleteLater();
        return;
    }
    connect(old, &QProcess::finished, old, &QObject::deleteLater);
    old->kill();
}

void SoundPlayer::reportUnavailable(const QString& reason) {
    if (m_reported)
        return;
    m_reported = true;
    emit unavailable(reason);
}

void SoundPlayer::play(const QString& path) {
    stop();
    if (!QFileInfo::exists(path))
        return;
    if (m_program.isEmpty()) {
        reportUnavailable(QStringLiteral("o programa %1 não foi encontrado").arg(m_programName));
        return;
    }
    auto* process = new QProcess(this);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    // A player that cannot start, or that fails on its own (no sound device), plays nothing again.
    connect(process, &QProcess::errorOccurred, process, [this, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            reportUnavailable(QStringLiteral("%1 não pôde ser iniciado").arg(m_program));
            if (m_current == process)
                m_current = nullptr;
            process->deleteLater();
        }
    });
    connect(process, &QProcess::finished, process, [this, process](int exitCode, QProcess::ExitStatus status) {
        // A player ended by stop() is not a failure to play.
        if (m_current == process && status == QProcess::NormalExit && exitCode != 0)
            reportUnavailable(
                QStringLiteral("%1 terminou com o código %2 (sem dispositivo de som?)").arg(m_program).arg(exitCode));
        if (m_current == process) {
            m_current = nullptr;
            process->deleteLater();
        }
    });
    m_current = process;
    process->start(m_program, m_options + QStringList{path});
}

bool SoundPlayer::isPlaying() const {
    return m_current && m_current->state() != QProcess::NotRunning;
}
