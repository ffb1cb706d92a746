// The credential record that every provider hands out: its texts kept encrypted for the current user.
#pragma once

#include "mvx_credentials.h"
#include "mvx_protectedbytes.h"

namespace _Mvx_Internal_NS_ {

class SimpleCredentialInfoImpl : public Morvenix::CredentialInfo {
public:
    SimpleCredentialInfoImpl(const Morvenix::String& inTarget, const Morvenix::String& inUserName,
                             const Morvenix::String& inPassword, bool inSave)
        : m_target(inTarget), m_userName(inUserName), m_password(inPassword), m_save(inSave), m_confirmed(false)
    {
    }
    Morvenix::String getTarget() override { return m_target.get(); }
    Morvenix::String getUserName() override { return m_userName.get(); }
    Morvenix::String getPassword() override { return m_password.get(); }
    void setConfirmed(bool inConfirmed) override { m_confirmed = inConfirmed; }
    bool isConfirmed() override { return m_confirmed; }
    // Whether the user asked for the credential to be saved.
    bool getSave() const { return m_save; }

private:
    Morvenix::ProtectedBytes m_target;
    Morvenix::ProtectedBytes m_userName;
    Morvenix::ProtectedBytes m_password;
    bool m_save;
    volatile bool m_confirmed;
};

} // namespace _Mvx_Internal_NS_
