#pragma once
// A one-line label for long texts such as folder paths and status lines: text() stays the whole
// text, the label paints it shortened in the middle ("/home/…/clips") when it does not fit, and
// its tooltip then shows the whole text. It never asks for more width than a few characters, so
// a long path cannot stretch or clip the window.

#include <QLabel>

class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString& text = QString(), QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // True when the last paint had to shorten the text.
    bool isElided() const { return m_elided; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool m_elided = false;
};
