// A main window for widget tests: temporary XDG folders, a scripted operator, start-up run.
#pragma once

#include "app/form1.h"
#include "support/pty_pair.h"
#include "support/scripted_user.h"

#include <QTimer>

#include <memory>

namespace tessaro::test {

struct FormFixture {
    TempXdg xdg;
    ScriptedUser user;
    std::unique_ptr<Form1> form;

    // Runs start-up as the splash does. With frozen timers, ticks only run when a test calls
    // the tick handlers itself.
    explicit FormFixture(bool frozen_timers = true) {
        form = std::make_unique<Form1>();
        if (frozen_timers) freezeTimers();
        form->show_loaded();
    }
    ~FormFixture() { form.reset(); }

    void freezeTimers() {
        for (QTimer* t : {form->Timer1, form->Timer2, form->Timer3}) t->blockSignals(true);
    }
    void thawTimers() {
        for (QTimer* t : {form->Timer1, form->Timer2, form->Timer3}) t->blockSignals(false);
    }
};

} // namespace tessaro::test
