#pragma once

#include <cstdint>

#include <QColor>
#include <QEvent>
#include <QLabel>
#include <QString>

// The event a link sends to its parent instead of opening its target when
// notify-parent is on; its type is the message number 1125.
class CHyperLinkNotifyEvent : public QEvent
{
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(1125);
    explicit CHyperLinkNotifyEvent(int controlId)
        : QEvent(kType)
        , m_controlId(controlId)
    { }
    // The id of the link that was clicked.
    int ControlId() const { return m_controlId; }

private:
    int m_controlId;
};

// A text label that looks and acts like a link: blue, red while hovered,
// dark blue once visited, underlined, hand cursor. A click opens the target
// with the program's file opener (a failure is said), or only tells the parent.
class CHyperLink : public QLabel
{
    Q_OBJECT
public:
    explicit CHyperLink(const QString& text = QString(), QWidget* parent = nullptr);

    // Colours are given as Windows colour references (blue in the high byte).
    static QColor FromColorRef(uint32_t colorRef);
    static constexpr uint32_t kDefaultLinkColor = 0xff0000;
    static constexpr uint32_t kDefaultHoverColor = 0x0000ff;
    static constexpr uint32_t kDefaultVisitedColor = 0x8f2205;

    // What a click opens: a web address or a file path.
    void SetTarget(const QString& target) { m_target = target; }
    QString Target() const { return m_target; }
    // The tooltip text; ignored unless the tooltip is enabled.
    void SetTooltipText(const QString& text);
    // Allows the tooltip text to be set.
    void EnableTooltip(bool enable);
    void SetLinkColor(uint32_t colorRef);
    void SetHoverColor(uint32_t colorRef);
    void SetVisitedColor(uint32_t colorRef);
    // On: a click sends CHyperLinkNotifyEvent to the parent and emits Clicked, nothing opens.
    void SetNotifyParent(bool notify) { m_notifyParent = notify; }
    // The id sent with the notification.
    void SetControlId(int id) { m_controlId = id; }
    int ControlId() const { return m_controlId; }

    bool IsVisited() const { return m_visited; }
    bool IsOver() const { return m_over; }
    // The colour the text is drawn in now.
    QColor CurrentColor() const;

signals:
    // The link was clicked while notify-parent was on.
    void Clicked(int controlId);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Click();
    void SetOver(bool over);
    void UpdateColor();

    QString m_target;
    QString m_tooltipText;
    uint32_t m_linkColor = kDefaultLinkColor;
    uint32_t m_hoverColor = kDefaultHoverColor;
    uint32_t m_visitedColor = kDefaultVisitedColor;
    bool m_notifyParent = false;
    bool m_tooltipEnabled = false;
    bool m_over = false;
    bool m_visited = false;
    int m_controlId = 0;
};
