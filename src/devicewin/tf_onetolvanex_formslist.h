#pragma once
// The list of device windows: the main frame's list of all of them and the multi-device
// window's list of the active ones. It holds references only; the windows belong to whoever
// created them (the main frame).
#include <QPointer>
#include <functional>
#include <vector>

#include "devicewin/tf_onetolvanex.h"

namespace tolv {

// Process-wide booting flag: set whenever a TTolvanexFormsList is created, cleared by the first
// boot step; while set, the multi-device window does not lay itself out.
bool bootingFlag();
void setBootingFlag(bool on);

class TIdleObject;
// The application's idle handler; every new TTolvanexFormsList installs a fresh one.
// nullptr before the first list exists or without an application object.
TIdleObject* idleObject();

class TTolvanexFormsList {
 public:
  using Factory = std::function<TF_OneTolvanex*()>;

  TTolvanexFormsList();
  TTolvanexFormsList(const TTolvanexFormsList&) = delete;
  TTolvanexFormsList& operator=(const TTolvanexFormsList&) = delete;

  int count() const { return static_cast<int>(forms_.size()); }
  void add(TF_OneTolvanex* form);
  // Creates a device window through the factory, appends it and returns it (nullptr without a
  // factory or when the factory fails).
  TF_OneTolvanex* createDeviceWindow();
  void setFactory(Factory f) { factory_ = std::move(f); }

  // nullptr for an index outside the list (or a window that no longer exists).
  TF_OneTolvanex* get(int index) const;
  // Caller guarantees 0 <= index < count().
  TF_OneTolvanex* getUnchecked(int index) const { return forms_[static_cast<size_t>(index)]; }
  int indexOf(const TF_OneTolvanex* form) const;

  // Closes each window, last first, removing each entry.
  void closeAll();
  // Removes the entries without closing the windows.
  void clear() { forms_.clear(); }
  // Runs every window's close query (each saves what it saves on closing) and removes the
  // entries: all devices are stopped first, last first, then their loggers' ends are waited
  // for together, then each link is released.
  void shutDown();

 private:
  std::vector<QPointer<TF_OneTolvanex>> forms_;
  Factory factory_;
};

}  // namespace tolv
