#include "unicode/gui/UniStdActns.h"

#include "unicode/gui/UniForms.h"

bool TUniHintAction::Execute() { return TUniAction::Execute() || UniApplication().ExecuteAction(*this); }
