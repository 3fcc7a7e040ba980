# Adds the bench window "KZB7310测试及编程源程序" and the production station "KZB7310生产测试"
# to this user's Start menu, in a folder KZB7310, pointing at kzb7310.exe beside this file.
# Run it again after moving the folder; delete the Start menu's KZB7310 folder to take the
# shortcuts away. -StationProfile names the station's profile (default: the simulated card).
param([string]$StationProfile = '')
$ErrorActionPreference = 'Stop'
$here = Split-Path -Parent $MyInvocation.MyCommand.Path
$exe = Join-Path $here 'kzb7310.exe'
$station = '--station'
if ($StationProfile) { $station += ' "' + (Resolve-Path $StationProfile) + '"' }
$menu = Join-Path ([Environment]::GetFolderPath('Programs')) 'KZB7310'
New-Item -ItemType Directory -Force -Path $menu | Out-Null
$shell = New-Object -ComObject WScript.Shell
foreach ($entry in @(@('KZB7310测试及编程源程序', ''), @('KZB7310生产测试', $station))) {
  $link = $shell.CreateShortcut((Join-Path $menu ($entry[0] + '.lnk')))
  $link.TargetPath = $exe
  $link.Arguments = $entry[1]
  $link.WorkingDirectory = $here
  $link.IconLocation = "$exe,0"
  $link.Save()
}
Write-Host "已添加到开始菜单 Added to the Start menu: $menu"
