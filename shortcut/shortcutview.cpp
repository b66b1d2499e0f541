#include "shortcut/shortcutview.h"

#include "shortcut/shortcutdefaultsobserver.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolTip>

#include <algorithm>

namespace zarvo {
namespace {

constexpr qreal kCellFontPointSize = 11;
constexpr int kMinimumWidth = 120;

} // namespace

ShortcutView::ShortcutView(QWidget* parent) : QWidget(parent)
{
    cell_.font = QApplication::font("QPushButton");
    cell_.font.setPointSizeF(kCellFontPointSize);
    recorder_ = std::make_unique<ShortcutRecorder>(static_cast<ShortcutRecorder::Host&>(*this));
    connect(recorder_.get(), &ShortcutRecorder::shortcutValueChanged, this,
            &ShortcutView::shortcutValueChanged);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
}

ShortcutView::~ShortcutView()
{
    // The binding ends with the view; there is no view left to give the old
    // value back to.
    if (binding_) {
        binding_->forgetShortcutView();
        binding_.reset();
    }
    recorder_.reset();
}

void ShortcutView::setShortcutValueChange(ShortcutValueChange change)
{
    shortcutValueChange_ = std::move(change);
    if (!shortcutValueChange_) {
        recorder_->setShortcutValueChange(nullptr);
        return;
    }
    recorder_->setShortcutValueChange([this] {
        if (shortcutValueChange_) {
            const ShortcutValueChange change = shortcutValueChange_;
            change(*this);
        }
    });
}

void ShortcutView::getShortcutRect(QRectF* shortcutRect, QRectF* hintRect) const
{
    const RecorderRects parts = recorder_->rects();
    if (shortcutRect) {
        *shortcutRect = parts.shortcutRect;
    }
    if (hintRect) {
        *hintRect = parts.hintRect;
    }
}

bool ShortcutView::locationInShortcutRect(const QPointF& windowPoint) const
{
    return locationInRect(recorder_->rects().shortcutRect, mapFrom(window(), windowPoint));
}

bool ShortcutView::locationInHintRect(const QPointF& windowPoint) const
{
    return locationInRect(recorder_->rects().hintRect, mapFrom(window(), windowPoint));
}

void ShortcutView::drawInRect(QPainter& painter, const QRectF& rect, const QString& title,
                              Qt::Alignment alignment, bool on)
{
    cell_.title = title;
    cell_.alignment = alignment;
    cell_.on = on;
    cell_.enabled = recorder_->isEnabled();
    const std::optional<qreal> offset = drawingOffsetForAppearance(appearance());
    if (!offset) {
        return;
    }
    drawCell(painter, rect.translated(0, *offset));
}

void ShortcutView::drawCell(QPainter& painter, const QRectF& rect)
{
    QStyle* const style = this->style();
    QStyleOptionButton option;
    option.initFrom(this);
    option.rect = rect.toRect();
    option.state &= ~(QStyle::State_Enabled | QStyle::State_HasFocus | QStyle::State_MouseOver |
                      QStyle::State_Sunken | QStyle::State_On | QStyle::State_Raised);
    if (cell_.enabled) {
        option.state |= QStyle::State_Enabled;
    }
    option.state |= cell_.on ? (QStyle::State_Sunken | QStyle::State_On) : QStyle::State_Raised;
    switch (bezelStyle()) {
    case bezel::kTexturedRounded:
        style->drawPrimitive(QStyle::PE_PanelButtonTool, &option, &painter, this);
        break;
    case bezel::kRounded:
        option.features |= QStyleOptionButton::AutoDefaultButton;
        style->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);
        break;
    default:
        style->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);
        break;
    }
    const QRect contents = style->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    painter.save();
    painter.setFont(cell_.font);
    style->drawItemText(&painter, contents, int(cell_.alignment | Qt::AlignVCenter), option.palette,
                        cell_.enabled, cell_.title, QPalette::ButtonText);
    painter.restore();
}

QString ShortcutView::associatedUserDefaultsKey() const
{
    return binding_ ? binding_->userDefaultsKey() : QString();
}

void ShortcutView::setAssociatedUserDefaultsKey(const QString& key)
{
    // The old binding goes first, giving back the value the view had before it.
    std::unique_ptr<ShortcutDefaultsObserver> old = std::move(binding_);
    old.reset();
    if (!key.isEmpty()) {
        binding_ = std::make_unique<ShortcutDefaultsObserver>(*this, key);
    }
}

QSize ShortcutView::sizeHint() const
{
    const QFontMetrics metrics(cell_.font);
    int textWidth = 0;
    for (const char* text : {"Record Shortcut", "Type New Shortcut", "Use Old Shortcut"}) {
        textWidth = std::max(textWidth, metrics.horizontalAdvance(shortcutText(text)));
    }
    QStyleOptionButton option;
    option.initFrom(this);
    const QSize contents(textWidth + int(hintWidthForAppearance(appearance())), metrics.height());
    QSize size = style()->sizeFromContents(QStyle::CT_PushButton, &option, contents, this);
    // The 1-point offset of appearances 1 and 2 stays inside the view.
    if (drawingOffsetForAppearance(appearance()).value_or(0) > 0) {
        size.rheight() += 1;
    }
    return size.expandedTo(QSize(kMinimumWidth, 0));
}

QSize ShortcutView::minimumSizeHint() const
{
    return QSize(kMinimumWidth, sizeHint().height());
}

bool ShortcutView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (const std::optional<QString> text = recorder_->toolTipAt(help->pos())) {
            QToolTip::showText(help->globalPos(), *text, this);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

void ShortcutView::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    const RecorderDrawing drawing = recorder_->drawing();
    drawInRect(painter, QRectF(rect()), drawing.bounds.title, drawing.bounds.alignment,
               drawing.bounds.on);
    if (drawing.shortcutRect) {
        drawInRect(painter, recorder_->rects().shortcutRect, drawing.shortcutRect->title,
                   drawing.shortcutRect->alignment, drawing.shortcutRect->on);
    }
}

void ShortcutView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && recorder_->mouseDown(event->position())) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void ShortcutView::mouseMoveEvent(QMouseEvent* event)
{
    mousePosition_ = event->position();
    recorder_->mouseMoved(event->position());
    QWidget::mouseMoveEvent(event);
}

void ShortcutView::enterEvent(QEnterEvent* event)
{
    mousePosition_ = event->position();
    recorder_->mouseMoved(event->position());
    QWidget::enterEvent(event);
}

void ShortcutView::leaveEvent(QEvent* event)
{
    mousePosition_.reset();
    recorder_->mouseLeft();
    QWidget::leaveEvent(event);
}

void ShortcutView::resizeEvent(QResizeEvent* event)
{
    // The parts follow the new bounds: the hint tracking and the tool tips.
    recorder_->updateTrackingAreas();
    recorder_->resetToolTips();
    QWidget::resizeEvent(event);
}

void ShortcutView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        recorder_->setEnabled(isEnabled());
    }
    QWidget::changeEvent(event);
}

QObject* ShortcutView::recordingWindow() const
{
    return window();
}

QWidget* ShortcutView::alertParent() const
{
    return window();
}

} // namespace zarvo
