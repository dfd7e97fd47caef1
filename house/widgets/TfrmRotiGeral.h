#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <house/TMessages.h>

#include <QDialog>

class QFrame;
class QGroupBox;
class QLabel;
class TButtonFlat;

// The frame every routine screen shares: the data group box on the left, the button strip on
// the right with the Confirm button, the screen-code label and the message catalog.
//
// Life cycle: the final screen class calls FormCreate() as the last step of its constructor.
// FormActivate() runs behind the handler guard each time the window becomes active. Closing
// (close(), Esc, accept/reject, the end of ShowModal) runs FormClose() once; its action decides
// whether the screen stays open (caNone), is only hidden (caHide) or is freed (caFree, the
// default: create routine screens with new). A screen shown by ShowModal is freed once
// ShowModal has returned, so that no handler or dialog of its own is still running on it.
class RBX_HOUSE_WIDGETS_EXPORT TfrmRotiGeral : public QDialog
{
    Q_OBJECT

public:
    enum TCloseAction { caNone, caHide, caFree };

    static constexpr int DefaultClientWidth = 412;
    static constexpr int DefaultClientHeight = 205;
    static constexpr int MenuWidth = 55;

    explicit TfrmRotiGeral(QWidget *parent = nullptr);
    ~TfrmRotiGeral() override;

    QLabel *lblCodTela;
    QGroupBox *grbDadosRel;
    QFrame *panMenu;
    QFrame *panBotoes;
    TButtonFlat *sbtConfirma;
    TMessages msgPadrao;

    // Shows the screen modally; returns when it has closed.
    int ShowModal();
    void Close() { close(); }
    // Repaints at once.
    void Refresh() { repaint(); }

    virtual void FormCreate();
    virtual void FormActivate();
    virtual void FormClose(TCloseAction &action);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

    // Places the standard frame for a client area, the button strip starting at menuLeft.
    void ArrangeFrame(int clientWidth, int clientHeight, int menuLeft);

private:
    bool m_closing = false;
    bool m_inShowModal = false;
    bool m_freeAfterShowModal = false;
};
