#pragma once

#include <QDialog>

class CHyperLink;
class QLabel;

// The about box: picture, version, build number, build date, a link to the
// product's web site and OK.
class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // Texts shown, for the box and for tests.
    static QString VersionText();
    static QString BuildText();
    static QString BuildDateText();
    // The address behind the link.
    static QString WebSite();

    CHyperLink* Link() const { return m_link; }

private:
    CHyperLink* m_link = nullptr;
};
