#pragma once

#include "model/DiscoveredService.h"
#include "ui/MenuModel.h"

#include <QList>
#include <QStringList>
#include <QUuid>
#include <QVariantMap>

namespace lumarient {

// The bus names of the per-phone actions: the methods that run them.
QString busActionName(MenuAction::Kind kind);

// The actions the menu offers for one configuration now, by bus name, in menu
// order ("Stop" for whatever stops what runs).
QStringList offeredActions(const QList<MenuEntry> &menu, const QUuid &configID);

// The status the menu shows after a configuration's name: "not connected",
// "USB, Mirror running", ...
QString configurationStatus(const MenuState &state, const DeviceConfig &config);

// What the menu shows, as the session bus carries it (a{sv}):
//   phones            aa{sv}  serial, model, name, connection ("USB" or "Wi-Fi"),
//                             state ("ready", "unauthorized" or "offline")
//   configurations    aa{sv}  id, name, model, serial (of its connected phone, or
//                             empty), status (the menu's status text), session
//                             ("desktop", "virtualDesktop", "mirror" or empty),
//                             secondDisplay (b), keyboardMouse (b), actions (as)
//   secondDisplaySerial s     the phone using the second display, or empty
//   waitingForApproval  b     a phone waits for the user to allow debugging
//   scanning            b     a network scan is running
//   pairingCandidates   as    phones offering a pairing code
//   errors              as    the menu's warning lines, without their sign
QVariantMap busState(const MenuState &state, const QList<DiscoveredService> &pairingCandidates);

} // namespace lumarient
