#pragma once

#include <QtWidgets/QWidget>

#include "platform/control.h"

namespace pelmora::platform::qt {

// The on-screen mirror of one control: a widget that follows the model's geometry, visibility,
// enabled state, tooltip, cursor and stacking. Kinds of controls derive from it and mirror what
// is their own (a label's caption, a pane's navigation). The model is the truth: a peer never
// changes the model except by raising the control's events.
class QtControlPeer : public ControlPeer {
 public:
  // `widget` is owned by its Qt parent (or by this peer when it has none).
  QtControlPeer(Control& model, QWidget* widget);
  ~QtControlPeer() override;

  Control& model() const { return model_; }
  QWidget* widget() const { return widget_; }

  // Applies every property once (after the peer is made).
  virtual void sync_all();
  void changed(Control& control, Property what) override;
  void released(Control& control) override;

 protected:
  // What a kind of control mirrors beyond the common properties.
  virtual void changed_own(Property what) { (void)what; }
  // Pixels of the control's container; a form's own size is in twips.
  virtual void apply_geometry();
  // Focus policy and name for assistive technology, from the control's role.
  void apply_access();

 private:
  Control& model_;
  QWidget* widget_;
  bool model_alive_ = true;
};

}  // namespace pelmora::platform::qt
