// Hotkeys grabbed on an X server of the test's own and pressed with xdotool.

#include "app/platform/globalshortcut.h"
#include "app/platform/x11/globalshortcut_x11.h"
#include "app/platform/x11/xconnection.h"
#include "tests/support/sessionservers.h"

#include <QSignalSpy>
#include <QtTest>
#include <cstdlib>
#include <memory>

#include <xcb/xcb_keysyms.h>

namespace {

constexpr int kSettleMs = 300;

}  // namespace

class TestGlobalShortcut : public QObject
{
    Q_OBJECT

    PrivateXServer m_server;
    std::unique_ptr<XConnection> m_other;  // another client on the same server

    void press(const char* keys) { QVERIFY(m_server.run("xdotool", {"key", keys})); }

    xcb_keycode_t keycode(xcb_keysym_t keysym)
    {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_other->connection());
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_keycode_t code = codes ? codes[0] : 0;
        std::free(codes);
        xcb_key_symbols_free(symbols);
        return code;
    }

    // Grabs a key for the other client; true when the server allowed it.
    bool otherGrabs(xcb_keysym_t keysym, quint16 mods)
    {
        xcb_generic_error_t* error = xcb_request_check(
            m_other->connection(), xcb_grab_key_checked(m_other->connection(), 0, m_other->root(), mods,
                                                        keycode(keysym), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return !error;
    }

    void otherReleases(xcb_keysym_t keysym, quint16 mods)
    {
        xcb_ungrab_key(m_other->connection(), keycode(keysym), m_other->root(), mods);
        std::free(xcb_get_input_focus_reply(m_other->connection(), xcb_get_input_focus(m_other->connection()), nullptr));
    }

    static constexpr quint16 kCtrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.start());
        GlobalShortcutX11::display = m_server.display();
        m_other.reset(new XConnection(m_server.display()));
        QVERIFY(m_other->isValid());
    }

    void firesOncePerPressWhateverTheLocks()
    {
        GlobalShortcut shortcut(QKeySequence("Ctrl+Alt+K"));
        QSignalSpy spy(&shortcut, &GlobalShortcut::activated);
        QCOMPARE(shortcut.shortcut(), QKeySequence("Ctrl+Alt+K"));
        press("ctrl+alt+k");
        QTRY_COMPARE(spy.count(), 1);
        QTest::qWait(kSettleMs);
        QCOMPARE(spy.count(), 1);

        press("k");
        press("ctrl+k");
        press("ctrl+alt+shift+k");
        QTest::qWait(kSettleMs);
        QCOMPARE(spy.count(), 1);

        press("Num_Lock");
        press("ctrl+alt+k");
        QTRY_COMPARE(spy.count(), 2);
        press("Caps_Lock");
        press("ctrl+alt+k");
        QTRY_COMPARE(spy.count(), 3);
        press("Num_Lock");
        press("Caps_Lock");
    }

    void disabledStaysGrabbedButSilent()
    {
        GlobalShortcut shortcut(QKeySequence("Ctrl+Alt+K"));
        QSignalSpy spy(&shortcut, &GlobalShortcut::activated);
        shortcut.setDisabled(true);
        QVERIFY(!shortcut.isEnabled());
        press("ctrl+alt+k");
        QTest::qWait(kSettleMs);
        QCOMPARE(spy.count(), 0);
        QVERIFY(!otherGrabs('k', kCtrlAlt));  // still held while disabled
        shortcut.setEnabled(true);
        press("ctrl+alt+k");
        QTRY_COMPARE(spy.count(), 1);
    }

    void sameSequenceTwiceInOneProcess()
    {
        GlobalShortcut first(QKeySequence("Ctrl+Alt+K"));
        GlobalShortcut second;
        QTest::ignoreMessage(QtWarningMsg, "GlobalShortcut failed to register: Ctrl+Alt+K");
        QVERIFY(!second.setShortcut(QKeySequence("Ctrl+Alt+K")));
        QSignalSpy firstSpy(&first, &GlobalShortcut::activated);
        QSignalSpy secondSpy(&second, &GlobalShortcut::activated);
        press("ctrl+alt+k");
        QTRY_COMPARE(firstSpy.count(), 1);
        QTest::qWait(kSettleMs);
        QCOMPARE(secondSpy.count(), 0);
        // The refused object keeps its sequence but owns no grab to give back.
        QTest::ignoreMessage(QtWarningMsg, "GlobalShortcut failed to unregister: Ctrl+Alt+K");
    }

    void heldByAnotherClient()
    {
        QVERIFY(otherGrabs('j', kCtrlAlt));
        GlobalShortcut shortcut;
        QTest::ignoreMessage(QtWarningMsg, "GlobalShortcut failed to register: Ctrl+Alt+J");
        QVERIFY(!shortcut.setShortcut(QKeySequence("Ctrl+Alt+J")));
        otherReleases('j', kCtrlAlt);

        // Only the Caps Lock variant is taken: what we did get is given back.
        QVERIFY(otherGrabs('j', kCtrlAlt | XCB_MOD_MASK_LOCK));
        GlobalShortcut partly;
        QTest::ignoreMessage(QtWarningMsg, "GlobalShortcut failed to register: Ctrl+Alt+J");
        QVERIFY(!partly.setShortcut(QKeySequence("Ctrl+Alt+J")));
        QVERIFY(otherGrabs('j', kCtrlAlt));
        otherReleases('j', kCtrlAlt);
        otherReleases('j', kCtrlAlt | XCB_MOD_MASK_LOCK);
        QTest::ignoreMessage(QtWarningMsg, "GlobalShortcut failed to unregister: Ctrl+Alt+J");
        QTest::ignoreMessage(QtWarningMsg, "GlobalShortcut failed to unregister: Ctrl+Alt+J");
    }

    void keysNoLayoutTypesAreRefused()
    {
        GlobalShortcut shortcut;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("GlobalShortcut failed to register: .*"));
        QVERIFY(!shortcut.setShortcut(QKeySequence(int(Qt::CTRL) | 0x4e2d)));  // a CJK character
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("GlobalShortcut failed to (un)?register: .*"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("GlobalShortcut failed to (un)?register: .*"));
        QVERIFY(!shortcut.setShortcut(QKeySequence(int(Qt::ALT) | Qt::Key_Launch0)));
        // Nothing took the whole keyboard.
        QVERIFY(otherGrabs('a', XCB_MOD_MASK_CONTROL));
        otherReleases('a', XCB_MOD_MASK_CONTROL);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("GlobalShortcut failed to unregister: .*"));
    }

    void replacingAndReleasing()
    {
        auto shortcut = std::make_unique<GlobalShortcut>();
        QSignalSpy spy(shortcut.get(), &GlobalShortcut::activated);
        QVERIFY(shortcut->setShortcut(QKeySequence("Ctrl+Alt+L, Ctrl+Alt+M")));
        QCOMPARE(shortcut->shortcut(), QKeySequence("Ctrl+Alt+L"));
        press("ctrl+alt+l");
        QTRY_COMPARE(spy.count(), 1);

        QVERIFY(shortcut->setShortcut(QKeySequence("Shift+Meta+F5")));
        QVERIFY(otherGrabs('l', kCtrlAlt));  // the old one was released
        otherReleases('l', kCtrlAlt);
        press("ctrl+alt+l");
        press("shift+super+F5");
        QTRY_COMPARE(spy.count(), 2);
        QTest::qWait(kSettleMs);
        QCOMPARE(spy.count(), 2);

        // The keypad flag belongs to the key and is kept.
        const QKeySequence keypad(int(Qt::CTRL) | int(Qt::KeypadModifier) | Qt::Key_5);
        QVERIFY(shortcut->setShortcut(keypad));
        QCOMPARE(shortcut->shortcut(), keypad);
        press("ctrl+5");
        QTRY_COMPARE(spy.count(), 3);

        QVERIFY(shortcut->setShortcut(QKeySequence()));  // clearing only releases
        QVERIFY(shortcut->shortcut().isEmpty());
        QVERIFY(otherGrabs(0xffc2, XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4));
        otherReleases(0xffc2, XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4);

        QVERIFY(shortcut->setShortcut(QKeySequence("Ctrl+Alt+L")));
        shortcut.reset();  // the destructor releases the grab
        QVERIFY(otherGrabs('l', kCtrlAlt));
        otherReleases('l', kCtrlAlt);
    }
};

QTEST_GUILESS_MAIN(TestGlobalShortcut)
#include "tst_globalshortcut.moc"
