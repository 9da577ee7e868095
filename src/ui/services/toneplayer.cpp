#include "ui/services/toneplayer.h"

#include <QApplication>

namespace fotolista {

TonePlayer::TonePlayer(QObject* parent) : QObject(parent)
{
    connect(
        this, &TonePlayer::beepRequested, this, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

TonePlayer::~TonePlayer()
{
    if (m_thread.joinable())
        m_thread.join();
}

void TonePlayer::playCompletionTones()
{
    if (m_playing.exchange(true))
        return;
    if (m_thread.joinable())
        m_thread.join();
    m_thread = std::thread([this] {
        play();
        m_playing = false;
    });
}

}  // namespace fotolista
