#include "composer/CommandBuilders.h"

bool ComposeCommand(int commandType, TBuildContext& context) {
  (void)commandType;
  // No command builder is built in yet: nothing is written and the window may close.
  context.Lists.Clear();
  return true;
}
