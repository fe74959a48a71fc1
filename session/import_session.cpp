#include "session/import_session.h"

#include <utility>

#include "db/connection.h"
#include "db/tfdm.h"
#include "import/load_import_layout.h"
#include "import/screen.h"

namespace imp {

ImportSession::ImportSession(Tfdm& fdm, const RegionalSettings& rs, ImportScreen& screen,
                             Dialogs& dialogs, std::string layout_design_sql)
    : fdm_(fdm),
      rs_(rs),
      screen_(screen),
      CImporinv(LayoutSourceSet(fdm.Norvela, rs, std::move(layout_design_sql))),
      CFacturas(fdm),
      run_(fdm, CFacturas, CImportacion_, rs, screen, dialogs) {
  run_.set_observer(&observers_);
}

void ImportSession::Connect(const SessionConnection& connection, const Blocking& blocking) {
  Connection& norvela = fdm_.Norvela;
  screen_.ShowStatus(connection.company.ConnectingCaption());
  connection.company.Prepare(norvela, rs_.text_encoding);
  if (connection.connect_wait) norvela.set_connect_timeout(*connection.connect_wait);
  if (connection.lock_wait) norvela.set_lock_timeout(*connection.lock_wait);
  if (blocking) {
    blocking([&norvela] { norvela.Open(); });
  } else {
    norvela.Open();
  }
}

bool ImportSession::connected() const { return fdm_.Norvela.connected(); }

void ImportSession::LoadLayout() { LoadImportLayout(CImporinv, CImportacion_); }

void ImportSession::Run() { run_.SpeedButton3Click(); }

Connection& ImportSession::connection() { return fdm_.Norvela; }

}  // namespace imp
