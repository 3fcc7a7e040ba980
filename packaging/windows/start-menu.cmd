@echo off
rem Adds the bench window and the production station to this user's Start menu; the
rem names are in start-menu.ps1, which PowerShell reads as UTF-8.
powershell -NoProfile -ExecutionPolicy Bypass -File "%~dp0start-menu.ps1" %*
pause
