#pragma once

#include <QLabel>

/// A one-line label for a file path: text() keeps the whole path, the display elides its middle
/// when the path is wider than the label, and the tool tip shows it in full.
class TPathLabel : public QLabel {
public:
    explicit TPathLabel(QWidget* parent = nullptr);
    void setText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
};
