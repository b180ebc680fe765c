#include "wizard/core/wizard_session.h"

WizardSessionRecord WizardSession;
