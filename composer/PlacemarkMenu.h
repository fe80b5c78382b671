#pragma once
// The template window's control points taken from the globe program's places: a click on one
// of the three "Взять из Google Earth" buttons reads the places file afresh and offers its
// tree as the popup menu `pGetFromGG` at the button; choosing a placemark fills that point's
// six coordinate edits and its two hemisphere selectors.
//
// The places file is the one the user chose once ([COMMON] PlacesKml); while none is chosen,
// the click asks for it. The window's own controls are found by their component names
// (`btnCP1FromGoogle`, `edCP1Latd` .. `edCP1Lonmm`, `cbCP1ns`, `cbCP1ew`, and the same for
// points 2 and 3), so this unit needs no more of the window than that.

#include "composer/PlacemarkTree.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QAbstractButton;
class QAction;
class QMenu;
class QWidget;
class TMonitorServices;

class TPlacemarkMenu : public QObject {
  Q_OBJECT

public:
  // `form` is the template window; the menu is its child.
  TPlacemarkMenu(QWidget& form, TMonitorServices& monitor);
  ~TPlacemarkMenu() override;

  // Connects the window's three buttons (those it has) to btnCP1FromGoogleClick.
  void ConnectButtons();

  // The shared click of the three buttons: a fresh tree, the menu rebuilt and popped up at
  // the button's top right corner; the warning "Не удалось загрузить список меток из Google
  // Earth" when there is nothing to offer. A cancelled choice of the places file ends the
  // click quietly.
  void btnCP1FromGoogleClick(QAbstractButton* sender);
  void FreePlacemarkTree();
  // The tree of the places file, or null (with `cancelled` set when the user cancelled the
  // choice of the file).
  std::unique_ptr<TggWPList> LoadPlacemarkTree(bool& cancelled);
  // One item per entry: a placemark calls pGetFromGGClick, a folder is a bold submenu.
  void FillPlacemarkMenu(const TggWPList& list, QMenu* parent);
  // Fills the point of PickButton from the placemark of the chosen item.
  void pGetFromGGClick(QAction* sender);

  QMenu* pGetFromGG;
  std::unique_ptr<TggWPList> PlacemarkTree;
  // The button whose click built the current menu.
  QPointer<QAbstractButton> PickButton;

private:
  void ClearMenu();

  QWidget& Form;
  TMonitorServices& Monitor;
};
