#include "state.h"

#include <QDir>

namespace korvi {

QString State::filePath(const QString& name) const { return QDir(workDir).filePath(name); }

void InitUser(State& state)
{
    state.users.assign(2, UserRecord{});
    updateUserKey(state);
}

void updateUserKey(State& state)
{
    if (state.users.size() < 2)
        return;
    state.user().Login = state.UserName + '%' + state.UserPassword;
}

} // namespace korvi
