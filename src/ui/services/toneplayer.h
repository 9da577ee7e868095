#pragma once

#include <QObject>

#include <atomic>
#include <thread>

namespace fotolista {

/// Plays the three tones of a completed run (1256 Hz, 2256 Hz, 1256 Hz, 1115 ms
/// each) on a thread of its own, so the run and the window go on meanwhile.
/// Where no sound server answers, it gives the desktop's plain beep instead.
class TonePlayer : public QObject {
    Q_OBJECT

public:
    explicit TonePlayer(QObject* parent = nullptr);
    ~TonePlayer() override;

    /// Starts the tones and returns at once; ignored while tones still play.
    virtual void playCompletionTones();

signals:
    /// No sound server: the caller's thread beeps instead.
    void beepRequested();

private:
    void play();

    std::thread m_thread;
    std::atomic<bool> m_playing{false};
};

}  // namespace fotolista
