#pragma once
// A line in the main window's output panel, right of its title, that says
// at once when the audio output has gone away and that it is being opened
// again; it goes once the output plays again. It looks at the card's
// output every kLookMs.
#include "hardware/emulated/audiooutput.h" // OutputStatus

#include <QLabel>

#include <functional>

class QTimer;

class OutputNotice : public QLabel {
    Q_OBJECT
public:
    static constexpr int kLookMs = 200;
    using Source = std::function<OutputStatus()>;

    // In `outputPanel`, at the place the panel leaves free for it.
    OutputNotice(QWidget* outputPanel, Source source);

    // What the line says of an output that is lost.
    static QString Text(const OutputStatus& status);

public slots:
    void Look();

private:
    Source source_;
    QTimer* timer_;
};
