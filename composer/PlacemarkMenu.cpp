#include "composer/PlacemarkMenu.h"

#include "composer/ControlPointPick.h"
#include "platform/GlobeProgram.h"
#include "seam/MonitorServices.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QWidget>

namespace {

// A menu caption shows "&" as a mnemonic mark unless it is doubled.
QString MenuCaption(const QString& name) {
  QString caption = name;
  return caption.replace(u'&', QStringLiteral("&&"));
}

}  // namespace

TPlacemarkMenu::TPlacemarkMenu(QWidget& form, TMonitorServices& monitor)
    : QObject(&form), pGetFromGG(new QMenu(&form)), Form(form), Monitor(monitor) {
  pGetFromGG->setObjectName(QStringLiteral("pGetFromGG"));
}

TPlacemarkMenu::~TPlacemarkMenu() = default;

void TPlacemarkMenu::ConnectButtons() {
  for (int point = 1; point <= 3; ++point) {
    auto* button = Form.findChild<QAbstractButton*>(QStringLiteral("btnCP%1FromGoogle").arg(point));
    if (!button) continue;
    connect(button, &QAbstractButton::clicked, this, [this, button] { btnCP1FromGoogleClick(button); });
  }
}

void TPlacemarkMenu::FreePlacemarkTree() { PlacemarkTree.reset(); }

void TPlacemarkMenu::ClearMenu() {
  // The items point into the tree: they go before it does.
  pGetFromGG->clear();
  qDeleteAll(pGetFromGG->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly));
}

void TPlacemarkMenu::btnCP1FromGoogleClick(QAbstractButton* sender) {
  ClearMenu();
  if (PlacemarkTree) FreePlacemarkTree();
  bool cancelled = false;
  PlacemarkTree = LoadPlacemarkTree(cancelled);
  if (cancelled) return;
  if (PlacemarkTree && !PlacemarkTree->empty()) {
    FillPlacemarkMenu(*PlacemarkTree, pGetFromGG);
    PickButton = sender;
    pGetFromGG->popup(sender->mapToGlobal(QPoint(sender->width(), 0)));
    return;
  }
  QMessageBox::warning(&Form, QStringLiteral("Orvex Монитор"),
                       QStringLiteral("Не удалось загрузить список меток из Google Earth"));
}

std::unique_ptr<TggWPList> TPlacemarkMenu::LoadPlacemarkTree(bool& cancelled) {
  cancelled = false;
  TWindowSettings& settings = Monitor.Settings();
  QString path = QFile::decodeName(QByteArray::fromStdString(settings.PlacesKml()));
  if (path.isEmpty()) {
    QFileDialog dialog(&Form, QStringLiteral("Файл меток Google Earth"), QDir::homePath(), QStringLiteral("*.kml"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The globe program keeps its places in a hidden folder of the home folder.
    dialog.setFilter(dialog.filter() | QDir::Hidden);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
      cancelled = true;
      return nullptr;
    }
    path = dialog.selectedFiles().first();
    settings.SavePlacesKml(QFile::encodeName(path).toStdString());
  }

  TPlacesRead read = LoadPlacesFile(path);
  if (read.Status == TPlacesRead::TStatus::Missing) {
    TGlobeProgram::ShowNotInstalled(&Form);
    // Forgotten, so that the next click asks for the file again.
    settings.SavePlacesKml("");
    return nullptr;
  }
  if (read.Status == TPlacesRead::TStatus::Unreadable) return nullptr;
  return std::make_unique<TggWPList>(std::move(read.Items));
}

void TPlacemarkMenu::FillPlacemarkMenu(const TggWPList& list, QMenu* parent) {
  for (const auto& item : list) {
    if (item->Kind == TggWPListEntry::kPlacemark && item->Entry) {
      QAction* action = parent->addAction(MenuCaption(item->Entry->Name));
      action->setData(QVariant::fromValue(reinterpret_cast<quintptr>(item->Entry.get())));
      connect(action, &QAction::triggered, this, [this, action] { pGetFromGGClick(action); });
    } else if (item->Kind == TggWPListEntry::kFolder && item->Folder) {
      auto* submenu = new QMenu(MenuCaption(item->Folder->Name), parent);
      QFont bold = submenu->menuAction()->font();
      bold.setBold(true);
      submenu->menuAction()->setFont(bold);
      parent->addMenu(submenu);
      FillPlacemarkMenu(item->Folder->Items, submenu);
    }
  }
}

void TPlacemarkMenu::pGetFromGGClick(QAction* sender) {
  auto* entry = reinterpret_cast<const TggWPEntry*>(sender->data().value<quintptr>());
  if (!entry || !PickButton) return;
  int point = ControlPointOfButton(PickButton->objectName());
  if (point == 0) return;
  TControlPointTexts texts = ControlPointTextsOf(entry->Latitude, entry->Longitude);
  const std::pair<const char*, const QString*> edits[] = {
      {"Latd", &texts.Latd}, {"Latm", &texts.Latm}, {"Latmm", &texts.Latmm},
      {"Lond", &texts.Lond}, {"Lonm", &texts.Lonm}, {"Lonmm", &texts.Lonmm},
  };
  for (const auto& [suffix, text] : edits) {
    auto* edit = Form.findChild<QLineEdit*>(QStringLiteral("edCP%1%2").arg(point).arg(QLatin1String(suffix)));
    if (edit) edit->setText(*text);
  }
  const std::pair<const char*, const QString*> selectors[] = {{"ns", &texts.NorthSouth}, {"ew", &texts.EastWest}};
  for (const auto& [suffix, text] : selectors) {
    auto* combo = Form.findChild<QComboBox*>(QStringLiteral("cbCP%1%2").arg(point).arg(QLatin1String(suffix)));
    if (!combo) continue;
    int index = combo->findText(*text);
    if (index >= 0) combo->setCurrentIndex(index);
  }
}
