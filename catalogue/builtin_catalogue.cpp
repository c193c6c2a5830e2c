// The built-in tables: the 101 original entries in index order, then today's programs. Non-ASCII
// letters are written as \u escapes so that the encoding of this file cannot change them.
#include "catalogue/catalogue.h"

#include <cstddef>
#include <iterator>

namespace runsweep {

namespace {

// Descriptions shared by groups of entries: stored once, referenced from each index of the group.
constexpr const wchar_t* kMemoryDumps =
    L"In connection with memory dumps. Not necessary to run system properly. Removing this "
    L"entry will free up some system resources."; // 14, 21, 22, 23
constexpr const wchar_t* kOfficeLauncher =
    L"Application which launches common MS Office components to help speed up the "
    L"launch of Office programs."; // 18, 47, 48, 54
constexpr const wchar_t* kLogitechMessenger =
    L"Logitech Desktop Messenger, which shows product news and offers from Logitech. Not required for Logitech mice or "
    L"keyboards to work. Removing this entry will free up some system resources."; // 26, 27
constexpr const wchar_t* kInstallShieldUpdate =
    L"InstallShield Update Service scheduler, which checks for updates to programs installed with InstallShield. Not "
    L"necessary to run those programs."; // 33, 34
constexpr const wchar_t* kNeroCheck =
    L"Nero check utility that makes sure the CD and DVD drivers of Nero Burning ROM are "
    L"set up correctly. Not required to burn discs with Nero."; // 61, 62
constexpr const wchar_t* kCreativeJetDetection =
    L"Creative device detection utility that watches for a Creative Nomad Jukebox player being connected. Not "
    L"required to use the Creative software."; // 68, 69
constexpr const wchar_t* kPowerDvdRemote = L"CyberLink PowerDVD remote control service, used only with a remote "
                                           L"control. Not required to watch DVDs with PowerDVD."; // 71, 72
constexpr const wchar_t* kRealTray = L"RealPlayer system tray icon giving quick access to RealPlayer. Not necessary to "
                                     L"play media files with RealPlayer."; // 78, 79

struct BuiltInEntry {
    const wchar_t* name;
    const wchar_t* description;
};

constexpr BuiltInEntry kBuiltIn[] = {
    // 0-9
    {L"SoundMan", L"System Tray icon for the Realtek AC97 Audio Sound Manager for AC97 onboard audio. Available via "
                  L"Start -> Settings-> Control Panel. Removing this entry will free up a small amount of system "
                  L"resources."},
    {L"TkBellExe", L"Part of the RealNetworks RealPlayer update service, which checks the Internet for updates and "
                   L"messages. Not required to run RealPlayer. Removing this entry will free up some system "
                   L"resources."},
    {L"SunJavaUpdateSched", L"Java update scheduler from Sun Microsystems. Not required: check for new versions "
                            L"yourself at the Java web site (java.com) or from the Java Plug-In Control Panel."},
    {L"Microsoft Works Update Detection", L"Microsoft Works update checker that runs at every start to look for "
                                          L"updates to Works. Not necessary to run Microsoft Works correctly."},
    {L"QuickTime Task", L"Provides a system tray icon that you can use for quick access to the QuickTime application "
                        L"and additional settings. If you use the system tray icon to launch QuickTime you should "
                        L"leave this process running."},
    {L"SigmatelSysTrayApp", L"System tray icon for the SigmaTel onboard audio driver, giving quick access to its "
                            L"volume and speaker settings. Not required for sound to work."},
    {L"IgfxTray", L"System tray icon for the Intel integrated graphics driver, used to change display settings "
                  L"quickly. Not required; the settings stay available in the Control Panel."},
    {L"HotKeysCmds", L"Intel graphics hot key handler that lets key combinations rotate or switch the display. Not "
                     L"required unless you use these shortcuts."},
    {L"Persistence", L"Intel graphics utility that restores your display settings when the computer starts. Not "
                     L"normally required, since Windows keeps the settings itself."},
    {L"RoxioDragToDisc", L"Roxio Drag-to-Disc, which lets you write files to a CD by dragging them onto a desktop "
                         L"icon. Not required to burn discs with Roxio. Removing this entry will free up some system "
                         L"resources."},
    // 10-19
    {L"RoxWatchTray", L"Roxio tray program that watches for new media for the Roxio CD and DVD software. Not "
                      L"necessary to run Roxio programs correctly."},
    {L"Motive SmartBridge", L"Motive SmartBridge, a support tool installed by some Internet providers to diagnose and "
                            L"repair your connection. Not required for the connection to work."},
    {L"MSMSGS", L"Windows Messenger, the instant messaging program that comes with Windows XP. Not required unless "
                L"you want Messenger signed in whenever Windows starts."},
    {L"UpdReg", L"Creative sound card utility that writes settings to the registry at start. Not required for the "
                L"sound card to work. Removing this entry will free up a small amount of system resources."},
    {L"KernelFaultCheck", kMemoryDumps},
    {L"diagent", L"Creative Diagnostics Agent, which checks the Creative sound card and its software for problems. "
                 L"Not necessary to run the sound card properly."},
    {L"Reminder", L"Reminder program installed by some software makers to prompt you to register or buy their "
                  L"product. Not required by any program."},
    {L"MsnMsgr", L"MSN Messenger, the instant messaging program from Microsoft. Not required unless you want "
                 L"Messenger signed in whenever Windows starts."},
    {L"Microsoft Office", kOfficeLauncher},
    {L"CTFMON.EXE", L"Alternative Text Input Processor of Microsoft Office, used for speech and handwriting input. "
                    L"Not needed if you type with a normal keyboard only."},
    // 20-29
    {L"ctfmon", L"Microsoft text services monitor for speech recognition, handwriting and the language bar. Not "
                L"required unless you use these input methods."},
    {L"dumprep 0 -k", kMemoryDumps},
    {L"dumprep 0 -u", kMemoryDumps},
    {L"UserFaultCheck", kMemoryDumps},
    {L"Adobe Reader Speed Launch", L"Speeds up the time it takes to load the Adobe Reader application. Not required "
                                   L"to run Adobe correctly."},
    {L"Cmaudio", L"C-Media audio configuration utility for C-Media onboard sound, giving a tray icon for the speaker "
                 L"settings. Not required for sound to work."},
    {L"Logitech Desktop Messenger", kLogitechMessenger},
    {L"LDM", kLogitechMessenger},
    {L"LogitechSoftwareUpdate", L"Logitech software update checker that looks for new versions of Logitech drivers "
                                L"and programs. Not required; updates can be fetched by hand."},
    {L"HP Component Manager", L"HP Component Manager, installed with HP printers and scanners to check for HP "
                              L"software updates. Not necessary to print or scan."},
    // 30-39
    {L"HP Software Update", L"HP Software Update, which checks HP's web site for new drivers and software for HP "
                            L"products. Not required; you can run it by hand when you wish."},
    {L"LSBWatcher", L"Background watcher installed with some device software, waiting for a device to be connected. "
                    L"Not required to use the device."},
    {L"updateMgr", L"Adobe update manager that checks for updates to Adobe Acrobat and Reader. Not required; updates "
                   L"can be checked from the Help menu of the program."},
    {L"ISUSPM Startup", kInstallShieldUpdate},
    {L"ISUSScheduler", kInstallShieldUpdate},
    {L"jusched", L"Java update scheduler that checks for new versions of Java. Not required: visit the Java web site "
                 L"(java.com) or run the Java Plug-In Control Panel to update manually."},
    {L"Adobe Gamma Loader", L"Adobe Gamma Loader, which loads the monitor colour calibration made with Adobe Gamma. "
                            L"Needed only if you calibrated your monitor with Adobe Gamma."},
    {L"Adobe Reader Speed Lauch", L"Speeds up the launch of Adobe (Acrobat) Reader 7. Not necessary to run Adobe "
                                  L"correctly."},
    {L"qttask", L"QuickTime system tray icon from Apple, which also checks file associations at start. Not required "
                L"to play QuickTime files. Removing this entry will free up some system resources."},
    {L"nwiz", L"NVIDIA nView desktop manager, which adds multiple desktop and window management features. Not "
              L"required for the NVIDIA graphics card to work."},
    // 40-49
    {L"NvCplDaemon", L"NVIDIA display control panel service that restores display settings at start. Not required "
                     L"for the NVIDIA graphics card to work."},
    {L"NVIEW", L"This is a DLL to enable multiple display monitors on a single computer. It can be a cause of numerous "
               L"problems on some computers."},
    {L"hkcmd", L"Intel Extreme Graphics hot key interpreter for display shortcuts such as screen rotation. Not "
               L"required unless you use these key combinations."},
    {L"MMTray", L"Tray icon of the MusicMatch Jukebox music player. Not required to play music with MusicMatch. "
                L"Removing this entry will free up a small amount of system resources."},
    {L"MimBoot", L"MusicMatch start-up helper that loads parts of MusicMatch Jukebox at start so that it opens "
                 L"faster. Not necessary to run MusicMatch."},
    {L"Quicken Scheduled Updates", L"Quicken scheduler that downloads account data and updates in the background. "
                                   L"Not required; Quicken can update when you open it."},
    {L"swg", L"Google Updater, installed with the Google Toolbar and other Google software to keep them up to date. "
             L"Not required to use the toolbar."},
    {L"Microsoft Office Startup", kOfficeLauncher},
    {L"Office Startup", kOfficeLauncher},
    {L"Realsched", L"RealNetworks scheduler that checks for updates to RealPlayer and shows news messages. Not "
                   L"required to play media with RealPlayer."},
    // 50-59
    {L"IntelliPoint", L"Microsoft IntelliPoint mouse software, which enables the extra buttons and wheel settings of "
                      L"Microsoft mice. Needed only for those extra features."},
    {L"iTunes Helper", L"Apple iTunes Helper, which starts iTunes when an iPod is connected. Not required if you start "
                       L"iTunes yourself."},
    {L"DVDLauncher", L"CyberLink PowerDVD launcher that starts playback when a DVD is inserted. Not required to watch "
                     L"DVDs with PowerDVD."},
    {L"atiptaxx", L"ATI display tray icon, giving quick access to settings of ATI Radeon graphics cards. Not "
                  L"required; the settings stay available in the Control Panel."},
    {L"Microsoft Utility Startup", kOfficeLauncher},
    {L"Winampa", L"Winamp agent, which keeps the Winamp file types registered and shows a tray icon. Not necessary to "
                 L"run Winamp. Removing this entry will free up a small amount of system resources."},
    {L"sbdrvdet", L"Sound Blaster driver detection utility from Creative, which checks the sound card drivers at "
                  L"start. Not required for the sound card to work."},
    {L"NVMCTRAY", L"NVIDIA media center tray utility for NVIDIA graphics cards. Not required for the graphics card to "
                  L"work."},
    {L"CTsysVol", L"Creative sound card volume controls."},
    {L"CTHELPER", L"Creative helper program for Sound Blaster cards which loads settings for the Creative software at "
                  L"start. Not necessary to run the sound card."},
    // 60-69
    {L"CTDVDDet", L"Auto-detect and play a DVD when using a Creative Soundblaster Audigy2 soundcard."},
    {L"NeroCheck", kNeroCheck},
    {L"NeroFilterCheck", kNeroCheck},
    {L"AIM", L"AOL Instant Messenger, the chat program from AOL. Not required unless you want to be signed in to AIM "
             L"whenever Windows starts."},
    {L"NBJ", L"Nero BackItUp job scheduler, which runs the backups planned in Nero BackItUp. Needed only if you "
             L"schedule backups with Nero."},
    {L"InCD", L"Ahead InCD, packet writing software that lets you use a rewritable CD like a floppy disk. Not "
              L"required to burn discs with Nero."},
    {L"VTTimer", L"Timer of TV tuner software that starts scheduled recordings. Needed only if you record TV "
                 L"programmes on a schedule."},
    {L"Remind_XP", L"Reminder installed with some Windows XP based products to offer registration or updates. Not "
                   L"required for Windows or any program to work."},
    {L"ADGJdet", kCreativeJetDetection},
    {L"Jet Detection", kCreativeJetDetection},
    // 70-79
    {L"ttrayp", L"System tray helper program installed with some multimedia software. Not required for that software "
                L"to work."},
    {L"PDVDServ", kPowerDvdRemote},
    {L"RemoteControl", kPowerDvdRemote},
    {L"PowerBar", L"PowerBar toolbar that adds search and shortcut buttons to the desktop or browser. Not required by "
                  L"Windows or any other program."},
    {L"MoneyAgent", L"Microsoft Money agent, which downloads account data and shows reminders for bills. Not required; "
                    L"Money updates when you open it."},
    {L"CTDVDDet", L"Allows users to auto-detect and play a DVD when using a Creative Soundblaster Audigy2 soundcard."},
    {L"DiskeeperSystray", L"Diskeeper system tray icon giving quick access to the Diskeeper defragmenter. Not required "
                          L"for scheduled defragmenting to work."},
    {L"RealDownload", L"RealDownload, a download manager from RealNetworks that checks for updates at start. Not "
                      L"required to download files. Removing this entry will free up some system resources."},
    {L"realplay", kRealTray},
    {L"RealTray", kRealTray},
    // 80-89
    {L"Quicknote", L"Note-taking utility that stays in the system tray so that notes can be written quickly. Not "
                   L"required by Windows or any other program."},
    {L"WorksFUD", L"Microsoft Works file update detection, which checks for updates to Microsoft Works. Not necessary "
                  L"to run Works correctly."},
    {L"ibmmessages", L"IBM message center that shows messages and offers from IBM on IBM computers. Not required to "
                     L"run the computer properly."},
    {L"ICO", L"Small tray utility installed with some bundled software to show a quick-launch icon. Not required by "
             L"Windows."},
    {L"TOSCDSPD", L"Toshiba CD-ROM speed utility that sets the speed of the CD drive on Toshiba notebooks. Not "
                  L"required for the drive to work."},
    {L"Pinger", L"Toshiba notebook utility that checks the network connection at regular intervals. Not required for "
                L"the network to work."},
    {L"smoothview", L"Toshiba SmoothView, which zooms windows and the desktop on Toshiba notebooks. Needed only if you "
                    L"use its zoom keys."},
    {L"D\u00E9marrage rapide du logiciel HP Image Zone",
     L"HP Image Zone Fast Start [French], which loads parts of the HP photo software at start so that it opens "
     L"faster. Not required to run HP Image Zone."},
    {L"Lancement rapide d'Adobe Reader", L"Adobe Reader Speed Launch [French]. Speeds up the loading of the Adobe "
                                         L"Reader application. Not required to run Adobe Reader correctly."},
    {L"D\u00E9marrage d'Office", L"Application which launches common MS Office [French] components to help speed up "
                                 L"the launch of Office programs."},
    // 90-100
    {L"HP Image Zone Fast Start", L"HP Image Zone Fast Start, which loads parts of the HP photo software at start so "
                                  L"that it opens faster. Not required to run HP Image Zone."},
    {L"Microsoft Recherche acc\u00E9l\u00E9r\u00E9e",
     L"Microsoft Office Find Fast [French], which indexes documents so that Office can search them faster. Not "
     L"necessary to run MS Office correctly."},
    {L"Microsoft Find Fast", L"Microsoft Office Find Fast, which indexes documents so that Office can search them "
                             L"faster. It can slow the computer down. Not necessary to run MS Office correctly."},
    {L"DVDUpgrade", L"CyberLink DVD upgrade reminder that offers upgrades of the bundled DVD software. Not required to "
                    L"watch DVDs."},
    {L"Fpx", L"Helper program installed with some digital camera and photo software. Not required to view or edit "
             L"your pictures."},
    {L"GrpConv", L"Microsoft Windows Program Group Converter - used by installers (ONLY in the RunOnce keys) - "
                 L"provides the translation of groups and group items to folders and links."},
    {L"Activation", L"Reminder installed with some trial software to ask you to activate or buy the product. Not "
                    L"required to run the program."},
    {L"Microsoft Announcement Listener", L"Microsoft listener for announcements sent by Microsoft programs such as "
                                         L"Office. Not required to run Windows or Office."},
    {L"TaskBar", L"Taskbar add-on installed with some software to place extra buttons or a toolbar in the taskbar. "
                 L"Not required by Windows."},
    {L"Digital River eBot", L"Digital River eBot, which checks for updates and offers for software bought online from "
                            L"Digital River stores. Not required to run that software."},
    {L"Microsoft Office Fast Cache", L"Part of MS Office 95 (v7.0). Not necessary to run MS Office 95 correctly."},
};

static_assert(std::size(kBuiltIn) == kBuiltInCount, "the built-in table has 101 entries");

struct CurrentProgram {
    const wchar_t* name; // without the pattern's '*'
    const wchar_t* description;
    bool prefix;
};

// Today's programs, generated at build time from catalogue/current_programs.txt.
constexpr CurrentProgram kCurrentPrograms[] = {
#include "current_programs_table.inc"
};

} // namespace

std::size_t CurrentProgramCount() noexcept {
    return std::size(kCurrentPrograms);
}

std::size_t FirstCustomIndex() noexcept {
    return kBuiltInCount + CurrentProgramCount();
}

void BuildCatalogue(Catalogue& catalogue) {
    catalogue.Clear();
    catalogue.StartupNames.reserve(FirstCustomIndex());
    catalogue.StartupNames.reserve_text(2048 + 32 * CurrentProgramCount());
    catalogue.StartupDescriptions.reserve(FirstCustomIndex());
    catalogue.StartupDescriptions.reserve_text(8192 + 160 * CurrentProgramCount());
    for (std::size_t i = 0; i < kBuiltInCount; ++i) {
        catalogue.StartupNames.push_back(kBuiltIn[i].name);
        // A description that an earlier entry already holds (the same constant) is shared, not copied.
        std::size_t first = 0;
        while (kBuiltIn[first].description != kBuiltIn[i].description) {
            ++first;
        }
        if (first < i) {
            catalogue.StartupDescriptions.push_back_shared(first);
        } else {
            catalogue.StartupDescriptions.push_back(kBuiltIn[i].description);
        }
    }
    for (const CurrentProgram& program : kCurrentPrograms) {
        if (program.prefix) {
            catalogue.AppendPrefixEntry(program.name, program.description);
        } else {
            catalogue.AppendEntry(program.name, program.description);
        }
    }
}

} // namespace runsweep
