#include "Utilities/ui/HyperLink.h"

#include "Utilities/FileOpener.h"

#include <QCoreApplication>
#include <QMouseEvent>

CHyperLink::CHyperLink(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setAutoFillBackground(false);
    setTextFormat(Qt::PlainText);
    UpdateColor();
}

QColor CHyperLink::FromColorRef(uint32_t colorRef)
{
    return QColor(static_cast<int>(colorRef & 0xff), static_cast<int>((colorRef >> 8) & 0xff),
        static_cast<int>((colorRef >> 16) & 0xff));
}

void CHyperLink::SetTooltipText(const QString& text)
{
    if (!m_tooltipEnabled)
        return;
    m_tooltipText = text;
    setToolTip(text);
}

void CHyperLink::EnableTooltip(bool enable)
{
    m_tooltipEnabled = enable;
    setToolTip(enable ? m_tooltipText : QString());
}

void CHyperLink::SetLinkColor(uint32_t colorRef)
{
    m_linkColor = colorRef;
    UpdateColor();
}

void CHyperLink::SetHoverColor(uint32_t colorRef)
{
    m_hoverColor = colorRef;
    UpdateColor();
}

void CHyperLink::SetVisitedColor(uint32_t colorRef)
{
    m_visitedColor = colorRef;
    UpdateColor();
}

QColor CHyperLink::CurrentColor() const
{
    // Visited wins over hover, so a visited link stays visited while hovered.
    if (m_visited)
        return FromColorRef(m_visitedColor);
    if (m_over)
        return FromColorRef(m_hoverColor);
    return FromColorRef(m_linkColor);
}

void CHyperLink::enterEvent(QEnterEvent* event)
{
    SetOver(true);
    QLabel::enterEvent(event);
}

void CHyperLink::leaveEvent(QEvent* event)
{
    SetOver(false);
    QLabel::leaveEvent(event);
}

void CHyperLink::mouseMoveEvent(QMouseEvent* event)
{
    SetOver(rect().contains(event->position().toPoint()));
    QLabel::mouseMoveEvent(event);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Click();
    QLabel::mouseReleaseEvent(event);
}

void CHyperLink::Click()
{
    if (m_notifyParent) {
        if (parentWidget()) {
            CHyperLinkNotifyEvent notify(m_controlId);
            QCoreApplication::sendEvent(parentWidget(), &notify);
        }
        emit Clicked(m_controlId);
    } else if (!m_target.isEmpty()) {
        // The program's one opener, for files and addresses alike; a failure
        // is said rather than passed over.
        OpenWithFileOpenerOrSay(m_target);
    }
    m_visited = true;
    UpdateColor();
}

void CHyperLink::SetOver(bool over)
{
    if (m_over == over)
        return;
    m_over = over;
    UpdateColor();
}

void CHyperLink::UpdateColor()
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, CurrentColor());
    setPalette(p);
    update();
}
