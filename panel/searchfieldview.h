#pragma once

#include <QLineEdit>
#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <functional>

namespace zarvo {

// The panel's search field: a text field with no bezel and no background of
// its own, outlined by a rounded line in half-transparent white.
//
// Editing commands typed into it (Return, Escape, the arrows, Tab, the two
// deletions) are named as the key bindings name them ("insertNewline:",
// "cancelOperation:", "moveUp:", ...) and offered to the command handler
// first; a command the handler reports as not handled also gets the field's
// own handling.
class searchFieldView final : public QLineEdit {
    Q_OBJECT
public:
    explicit searchFieldView(QWidget* parent = nullptr);

    // Answers whether the field consumes COMMAND itself: the up and down moves
    // only. Used when no handler is installed.
    bool control(QWidget* control, QWidget* textView, const QString& command) const;

    // Receives every command typed in the field; returns whether it handled it.
    using CommandHandler = std::function<bool(const QString& command)>;
    void setCommandHandler(CommandHandler handler) { handler_ = std::move(handler); }

    // The command a key press with KEY and MODIFIERS stands for; empty for
    // plain text input.
    static QString commandForKey(int key, Qt::KeyboardModifiers modifiers);

    // The outline in the view's own coordinates (those of BOUNDS, y down).
    static QPainterPath outline(const QRectF& bounds);
    // Paints the outline of a field of SIZE into PAINTER.
    static void paintOutline(QPainter& painter, const QSizeF& size);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool offerCommand(const QString& command);

    CommandHandler handler_;
};

} // namespace zarvo
