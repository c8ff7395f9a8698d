#pragma once

#include "resources/CStringTable.h"
#include "shell/DeviceKind.h"
#include "ui/controls/CGdiPlusBitmapResource.h"

#include <QDialog>

#include <map>
#include <optional>
#include <string>
#include <vector>

class CGdipButton;
class CStaticEx;
class QScrollBar;

// The box choice: one wide row per device, in the byte-wise order of the
// devices' keys, then a row "Add by address…", scrolled a row at a time by the
// bar or the mouse wheel, and to the row that takes the keyboard focus. Each
// row shows its device's kind by a mark and a word ("Box", "TV or speaker");
// a device that cannot be used is greyed with its reason and takes neither
// clicks nor the focus. A click on a row ends the dialog and leaves its index
// (or that the address row was chosen) for the caller; Escape and the
// caption's close end it without a choice.
class CListDialog : public QDialog {
public:
    explicit CListDialog(QWidget* owner = nullptr,
                         const CStringTable& strings = CStringTable::Get());

    // Key to display name (an empty name shows the key), both UTF-8. Filled
    // by the caller before a run.
    std::map<std::string, std::string>& devices() { return m_devices; }

    // One more device while the dialog shows (a search goes on meanwhile);
    // the row that has the focus keeps it. A key already listed changes
    // nothing. The first form adds a Box.
    void AddDevice(const std::string& key, const std::string& name);
    void AddDevice(const std::string& key, const std::string& name, DeviceKind kind,
                   const std::string& unusableReason = {});
    // The kind a key in devices() is shown with, Box unless set; takes effect
    // when the rows are next made (at the next run or AddDevice).
    void SetKind(const std::string& key, DeviceKind kind, const std::string& unusableReason = {});
    DeviceKind KindOf(const std::string& key) const;

    // The position in key order of the row chosen; -1 for none.
    int selectedIndex() const { return m_selectedIndex; }
    void SetSelectedIndex(int index) { m_selectedIndex = index; }
    // Whether the run ended on "Add by address…".
    bool isAddByAddressChosen() const { return m_isAddByAddressChosen; }
    // The key at that position in key order; none outside the map.
    std::optional<std::string> KeyAt(int index) const;

    // Runs modally. Always returns IDCANCEL; selectedIndex() tells the choice.
    int DoModal() { return exec(); }
    void DeleteItemButtons();
    // The Boxes' rows, without the address row.
    const std::vector<CGdipButton*>& itemButtons() const { return m_itemButtons; }
    CGdipButton* addByAddressButton() const { return m_addByAddressButton; }

    void setVisible(bool visible) override;
    // Escape ends the run without a choice.
    void reject() override { close(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startDialog();
    void makeRows();
    CGdipButton* addRow(int row, const QString& caption, QColor captionColour,
                        std::optional<DeviceKind> kind = std::nullopt,
                        const QString& kindText = {});
    QString kindText(const std::string& key) const;
    void scrollTo(int row);
    void scrollByWheel(int angleDelta);
    void scrollIntoView(const QWidget* row);

    const CStringTable& m_strings;
    std::map<std::string, std::string> m_devices;
    struct Kind {
        DeviceKind kind = DeviceKind::Box;
        std::string unusableReason;
    };
    std::map<std::string, Kind> m_kinds;         // keys not in it are Boxes
    std::vector<CGdipButton*> m_itemButtons;     // children of m_list
    CGdipButton* m_addByAddressButton = nullptr; // the last row, a child of m_list
    int m_selectedIndex = -1;
    bool m_isAddByAddressChosen = false;
    int m_wheelRemainder = 0; // eighths of a degree not yet turned into rows

    CGdiPlusBitmapResource m_background;
    CStaticEx* m_title;
    QWidget* m_clipFrame; // clips rows scrolled above the list's top
    QWidget* m_list;      // the rows; moves up as the list scrolls
    QScrollBar* m_scrollBar;
};
