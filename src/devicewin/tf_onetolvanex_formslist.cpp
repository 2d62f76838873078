#include "devicewin/tf_onetolvanex_formslist.h"

#include <QCoreApplication>
#include <QPointer>

#include "common/typedlists.h"
#include "devicewin/tf_onetolvanex.h"

namespace tolv {

namespace {
bool g_booting = false;
// Owned by the application object, so it never outlives the event dispatcher it listens to.
QPointer<TIdleObject> g_idle;

void installFreshIdleObject() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  delete g_idle.data();
  g_idle = new TIdleObject(app);
  g_idle->Install();
}
}  // namespace

TIdleObject* idleObject() {
  return g_idle.data();
}

bool bootingFlag() {
  return g_booting;
}
void setBootingFlag(bool on) {
  g_booting = on;
}

TTolvanexFormsList::TTolvanexFormsList() {
  setBootingFlag(true);
  installFreshIdleObject();
}

void TTolvanexFormsList::add(TF_OneTolvanex* form) {
  forms_.emplace_back(form);
}

TF_OneTolvanex* TTolvanexFormsList::createDeviceWindow() {
  if (!factory_) return nullptr;
  TF_OneTolvanex* form = factory_();
  if (form) add(form);
  return form;
}

TF_OneTolvanex* TTolvanexFormsList::get(int index) const {
  if (index < 0 || index >= count()) return nullptr;
  return forms_[static_cast<size_t>(index)].data();
}

int TTolvanexFormsList::indexOf(const TF_OneTolvanex* form) const {
  for (size_t i = 0; i < forms_.size(); ++i)
    if (forms_[i].data() == form) return static_cast<int>(i);
  return -1;
}

void TTolvanexFormsList::closeAll() {
  while (!forms_.empty()) {
    QPointer<TF_OneTolvanex> f = forms_.back();
    forms_.pop_back();
    if (f) f->close();
  }
}

void TTolvanexFormsList::shutDown() {
  // Every device is stopped first; then one bounded wait serves all stopped loggers, so no
  // device goes on unread and unstopped while another one's end is waited for.
  std::vector<QPointer<TF_OneTolvanex>> closing;
  while (!forms_.empty()) {
    QPointer<TF_OneTolvanex> f = forms_.back();
    forms_.pop_back();
    if (f && f->beginClose()) closing.push_back(f);
  }
  TF_OneTolvanex::awaitLoggerEnds(closing);
  for (const auto& f : closing)
    if (f) f->finishClose();
}

}  // namespace tolv
