#pragma once

#include <QObject>

#include <atomic>
#include <thread>

namespace fotolista {

/// Plays the three tones of a completed run (1256 Hz, 2256 Hz, 1256 Hz, 1115 ms
/// each) on a thread of its own, so the run and the window go on meanwhile:
/// through the sound server on Linux, the system's tone generator on Windows.
/// Where neither answers, it gives the desktop's plain beep instead.
class TonePlayer : public QObject {
    Q_OBJECT

public:
    explicit TonePlayer(QObject* parent = nullptr);
    ~TonePlayer() override;

    /// Starts the tones and returns at once; ignored while tones still play.
    virtual void playCompletionTones();

signals:
    /// No tones could be played: the caller's thread beeps instead.
    void beepRequested();

private:
    void play();

    std::thread m_thread;
    std::atomic<bool> m_playing{false};
};

}  // namespace fotolista
