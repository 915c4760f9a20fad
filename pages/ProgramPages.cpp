#include "ProgramPages.h"

#include "EditPage.h"
#include "ImportPage.h"
#include "SavePage.h"

WizardPages MakeProgramPages() {
    return {std::make_unique<ImportPage>(), std::make_unique<EditPage>(),
            std::make_unique<SavePage>()};
}
