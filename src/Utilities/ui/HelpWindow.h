#pragma once

#include <QUrl>
#include <QWidget>

class QAction;
class QLabel;
class QLineEdit;
class QTextBrowser;

// The program's help window: shows the HTML help pages offline, with back,
// forward, home (the contents page beside the page shown), links between
// pages and a find bar. Links outside the help folder go to the desktop.
class CHelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // Shows a page (an absolute path) and brings the window to the front;
    // false when the page does not exist.
    bool ShowPage(const QString& path);
    // The page shown, as a file URL.
    QUrl CurrentPage() const;
    // The contents page home goes to.
    QString HomePage() const { return m_homePage; }

    QTextBrowser* Browser() const { return m_browser; }
    QLineEdit* FindField() const { return m_find; }

    // Finds the find field's text after (or before) the cursor, wrapping
    // round; false when the page does not hold it.
    bool FindNext(bool backwards = false);

public slots:
    void Back();
    void Forward();
    void Home();

private:
    void OnSourceChanged(const QUrl& url);

    QTextBrowser* m_browser = nullptr;
    QLineEdit* m_find = nullptr;
    QLabel* m_findResult = nullptr;
    QAction* m_back = nullptr;
    QAction* m_forward = nullptr;
    QAction* m_homeAction = nullptr;
    QString m_homePage;
};
