#pragma once
// The main window as the start-up chain leaves it, for tests: the cameras the
// test lists, no start-at-login entry, and the session listener the test
// makes (none by default). isolate.sh leads the update feed to a closed port.

#include <functional>
#include <memory>

#include "app/platform/startatlogin.h"
#include "app/platform/systemsession.h"
#include "core/control/cameralist.h"
#include "gui/lumoragui.h"

class ListedCameras : public CameraList
{
public:
    QVector<CameraEntry> cameras() override { return list; }
    QVector<CameraEntry> list;
};

class NoStartAtLogin : public StartAtLogin
{
public:
    void setEnabled(bool) override {}
};

inline std::unique_ptr<LumoraGUI> initialisedWindow(
    std::shared_ptr<CameraList> cameras = std::make_shared<ListedCameras>(),
    std::function<SystemSession::EventFilter*()> listener = [] { return nullptr; })
{
    auto w = std::make_unique<LumoraGUI>();
    w->setCameraList(std::move(cameras));
    w->setStartAtLogin(std::make_shared<NoStartAtLogin>());
    w->setSessionListenerFactory(std::move(listener));
    w->init();
    return w;
}
