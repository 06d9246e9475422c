#pragma once
// The composition root of the forms: the one place that creates the forms of the
// engine's modules, docks each into its panel or tab page of the main window and
// wires it. No other unit creates or docks a module's form.
//
// Start-up order (app/main.cpp):
//   new TFrmMain            creates TModuleMain (and with it every module), then
//                           ComposeForms(ModulesCreated), then restores its options
//   ComposeForms(MainFormCreated)
//   ModuleMain->AfterFormsCreated()
//   ComposeForms(ModulesStarted)
//   message loop; the first showing of the main window reopens the last show and
//   starts the clock

class QTabWidget;
class TFrmMain;

enum class TStartupStage {
    // Inside the main window's creation, right after the modules: the forms the
    // modules own from their construction (console window 0, master panel, ...).
    ModulesCreated,
    // After the main window has restored its options: the menu and the pages
    // created after it (interface pages, ...).
    MainFormCreated,
    // After the modules have finished their start-up (AfterFormsCreated).
    ModulesStarted,
};

// Where a module's form lives in the main window.
struct TDockTarget {
    TStartupStage Stage;   // when it is created
    const char* Form;      // the form (its class)
    const char* Target;    // object name of the main window's panel or tab page
};

// Every docked form, in creation order.
extern const TDockTarget DockTargets[];
extern const int DockTargetCount;
// The entry of form; nullptr when there is none.
const TDockTarget* FindDockTarget(const char* form);

// Creates and docks the forms of stage into main.
void ComposeForms(TFrmMain& main, TStartupStage stage);

// The interface pages ("verbundene Rechner", "Server"), created once and docked
// into their tabs of pcInterface; a missing tab is added. Part of the
// MainFormCreated stage; callable alone for a page control of its own (tests).
void CreateInterfacePages(QTabWidget* pcInterface);
