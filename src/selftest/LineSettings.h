// Where a station's runs go beyond its own disk: the line's PostgreSQL database, as a
// profile's [line] section gives it. A plain struct of the self-test's profile, so that the
// profile is read without the line, and the line and production take it from below. The
// password is never here: libpq reads it from the user's password file (~/.pgpass,
// %APPDATA%\postgresql\pgpass.conf) or a service file.
#pragma once

#include <string>

namespace selftest {

struct LineSettings {
  std::string host;      // a name, an address, or a Unix socket's folder; empty: libpq's default
  int port = 0;          // 0: libpq's default (5432)
  std::string database;  // empty: libpq's default
  std::string user;      // empty: libpq's default
  std::string sslmode;   // disable, allow, prefer, require, verify-ca, verify-full; empty: prefer
  std::string service;   // a service of pg_service.conf; empty: none
};

}  // namespace selftest
