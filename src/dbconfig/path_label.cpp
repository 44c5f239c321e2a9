#include "dbconfig/path_label.h"

#include <QPainter>
#include <QStyle>

TPathLabel::TPathLabel(QWidget* parent) : QLabel(parent)
{
    // A long path must not widen the fixed-size window.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setTextFormat(Qt::PlainText);
}

void TPathLabel::setText(const QString& text)
{
    QLabel::setText(text);
    setToolTip(text);
}

void TPathLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
}
