#pragma once

#include "MainWizardWindow.h"
#include "WizardPage.h"

// The program's own three pages, in tab order, for the main window to walk through.
WizardPages MakeProgramPages();
