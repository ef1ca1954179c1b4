#pragma once

#include <QWidget>

// A plain view whose coordinates start at the top-left corner, for content
// laid out from the top down (the settings window's scrolling pages). Every
// Qt widget already works this way; the class names the intent.
class FlippedView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    static constexpr bool isFlipped() { return true; }
};
