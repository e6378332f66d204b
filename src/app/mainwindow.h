#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/gadgets.h"
#include "app/mainloopclock.h"
#include "detection/camerawatch.h"
#include "detection/cliprequest.h"
#include "detection/frametimer.h"
#include "detection/motiondetector.h"
#include "detection/timeslots.h"
#include "detection/triggeractions.h"
#include "outputs/watchevents.h"
#include "settings/advancedoptions.h"
#include "settings/watchstate.h"

class AlertBeep;
class DesktopNotifier;
class EventLog;
class EventLogWindow;
class QMenu;
class QThreadPool;
class AlertPlayback;
class Camera;
class FrameProcessor;
class GadgetTable;
class PictureFolder;
class PictureUploader;
class RemoteAlarm;
struct CopyOptions;
struct CopyTarget;
class StatusDisplay;
struct UploadEnd;
class WallClockMinutes;

// The main window: fixed 800 x 480, hidden until the first picture was processed. Its 10 ms
// frameTimer paces everything that happens while the program runs, as a count: a run comes
// with each new picture, the minute step, the clock check and the camera watch when their time
// has come, and the program sleeps in between. Its gadgets hold every option.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    explicit MainWindow(DetectionState& state, MainLoopClock clock = {});
    ~MainWindow() override;

    // The gadgets with their start values and what a trigger sets going; the options are read
    // from and written to `settingsFile`, clips go into `clipFolder` (ending in "/"), their
    // names beginning with `clipStem` (see clipStem()).
    void createGadgets(Camera& camera, const std::string& settingsFile,
                       const std::string& clipFolder,
                       const std::string& clipStem = "Video_Sentello_");
    GadgetTable& gadgets() { return *m_gadgets; }
    FrameProcessor& frameProcessor() { return *m_frameProcessor; }
    StatusDisplay& statusDisplay() { return *m_statusDisplay; }
    TriggerActions& triggerActions() { return *m_triggerActions; }

    // Mends the clips of the clip folder that a crash or a power cut cut off, and logs each.
    void repairUnfinishedClips();
    // The clips found in the clip folder into the video list.
    void fillVideoList();
    // The clip of the selected row in the desktop's video program, or in the own player while
    // everything else stands still.
    void playSelectedVideo();
    // The pop-up menu of the video list at the mouse, when a row is selected.
    void showVideoListMenu();

    // The profile's name, when one is used: the remote alarm's messages name it.
    void setProfile(const std::string& profile) { m_profile = profile; }

    // The detection values in force: the three sliders and the mirror check box.
    DetectionValues detectionValues() const;
    // One run of the detection: what it found onto the window, and on a trigger the trigger
    // actions. False when the camera had no picture.
    bool processFrame();
    // What a trigger does, with the options the gadgets hold now: the alarm, and in recording
    // mode the count or the clip with its row; then the trigger is reported.
    void runTriggerActions();

    // The options into the gadgets (at start-up), and back into the file (at shutdown).
    void loadSettings();
    void saveSettings();
    // At program end: no more runs, and the clip that the camera still finishes sets nothing
    // going.
    void stopWatching();

    // The watch's events: the event log ("Sentello.log" beside the settings file) and the
    // desktop hear of them here, as does anyone else who subscribes.
    WatchEvents& watchEvents() { return m_watchEvents; }

    // From now on the watch's camera (as storedSourceText names it) and recording mode are
    // kept in the settings as they change, while the program was started with "--watch" or
    // "autostart" is on.
    void keepWatchState(bool startedAsWatch, const std::string& camera);
    // The recording mode as the last watch left it, switched as by the user.
    void resumeRecordMode(bool on);
    // "Keine Bilder von der Kamera" across the live picture until the camera delivers.
    void awaitCamera();

    // Starts frameTimer; the first minute step comes a minute from now.
    void startFrameTimer();
    // The main loop's clock was set or jumped (a test's clock): the minute step, the clock
    // check and the camera watch look at it now.
    void clockChanged() { takeDueSteps(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The copies off the premises, when switched on: the part `index` (1, 2, ...) of a clip
    // still being written, in `partFile`; and a whole clip, which replaces its parts on the
    // server (a clip finished is copied without being named here).
    void copyClipPart(const std::string& clipName, int index, const std::string& partFile);
    void copyClip(const std::string& clipPath);
    // The folder, ending in "/", the parts of clips wait in for their copy; empty when it
    // cannot be made.
    std::string clipPartFolder() const;

    void createTriggerActions();
    TriggerOptions triggerOptions() const;
    void onCaptureStatus(int status, const QString& text);
    // Shows the newest picture without comparing it, for the times when no change may count.
    // False when the camera had no picture.
    bool showFrame();
    // Each block's difference from the reference as a colour wash over the live picture.
    void showBlockDifferences(bool shown);
    // The sources of the watch's events that the window itself hears, and their subscribers.
    void connectWatchEvents();
    // The remote alarm as the group "Fernalarm" sets it; nothing when no channel is on.
    void startRemoteAlarm();
    // Where the copies go as the options say, the minute upload's fields taken in.
    CopyTarget copyTarget(const CopyOptions& options) const;
    // The captioned JPEG of the picture now (the minute's upload, the remote alarm's trigger
    // and test); empty when the camera has no fresh picture.
    std::string captionedPicture();
    // "Fernalarm…": what the user chose saved and the remote alarm started anew with it.
    void onRemoteAlarmClicked();
    // The trigger's event, from what it did and the share that changed.
    void reportTrigger(const TriggerOutcome& outcome);
    // The log's window, read anew.
    void showEventLog();
    void onEventWritten();
    void keepStorageLimit();
    void connectGadgetEvents();
    // Whatever sets a hold-off may change what the next run finds (other detection values): a
    // run follows at the next tick, as the timer's next tick would have made it.
    void holdOff(int frames);
    void holdOffForWait();

    // Ticks that run no detection: a clip is under way, or a dialog is open.
    bool runsHeld() const;
    // The ticks that passed are counted before something changes what they do.
    void countPassedTicks();
    // A run for a new picture at the next tick that has had none.
    void scheduleRun();
    // A new picture: its run now when its tick is due, else scheduled.
    void runArrivedPicture();
    // A run at the time of the tick owed one (see FrameTimer), when one is.
    void scheduleOwedRun();
    void runIn(std::int64_t ms);
    void runFrameTimer();
    // One run of the frame timer: the detection, or only the picture; false without one.
    bool runDetection(bool compares);
    // The steps of the timer that are no run, as far as their time has come.
    void takeDueSteps();
    // At the next turn of the main loop, after a run scheduled now.
    void takeDueStepsSoon();
    void connectFrameTimer();
    void armMinuteStep();
    void armCameraWatch();

    void connectDetectionControls();
    void onDetectionSliderMoved();
    void onResetClicked();
    // Slider changes that come from the settings are no user's moves: nothing is saved.
    void withQuietSliders(const std::function<void()>& change);
    void takeTime();
    SlotTimes slotTimes() const;
    // Selects the slot of the current time and loads its values; from the running clock
    // check also holds off, as for any change of the detection values.
    void selectSlotByClock(bool fromClockCheck);
    void clockCheck();

    void connectVideoList();
    void onVideoListMenu(int item);
    void deleteSelectedVideo();
    // Takes the row of the clip at `path` out of the video list, when it has one.
    void removeClipRow(const std::string& path);

    void onUploadSwitched();
    // The minute step comes when more than this has passed since the last one.
    static constexpr std::int64_t kMinuteStepMs = 60000;
    void minuteStep(std::int64_t nowMs);
    // Into the log, and its result onto the "Internet" tab.
    void reportUpload(const UploadEnd& end);

    void connectLiveView();
    void showLiveViewMenu(QPoint position);
    void onAdvancedSettingsClicked();
    void editMask();
    // Keeps chosen advanced options: into the file, the detection and the camera watch.
    void takeAdvancedOptions(const AdvancedOptions& chosen);
    // The advanced options into the detection and the camera watch.
    void applyAdvancedOptions();
    void updatePreRecording();
    bool keepsWatchState() const;
    void saveWatchState();
    // Writes or removes the autostart entry; false, after saying why, when that failed.
    bool setAutostartEntry(bool on);
    // Sounds the alarm once when the camera has delivered nothing for the set time, and says
    // so across the live picture until pictures come again.
    void watchCamera(std::int64_t nowMs);

    void connectFileRequesters();
    void askForFile(Gadget field, const QString& title, const QString& filter);

    void onAboutClicked();
    // Detection, uploads and the clock stand still while a side window is open; nothing counts
    // as compared meanwhile.
    void withFrameTimerStopped(const std::function<void()>& run);

    void connectCameraDialogs();
    // While a dialog of the detection or the camera is open the picture goes on, but nothing
    // is detected; afterwards the next run holds off.
    void withDialogOpen(const std::function<void()>& run);
    // The same for the camera's own dialogs; the background starts anew after them, as what
    // they change in the picture is no motion.
    void withCameraDialogOpen(const std::function<void()>& run);
    void onFormatClicked();
    void chooseFormat();
    void onSourceClicked();
    void onCompressionClicked();

    DetectionState& m_state;
    Camera* m_camera = nullptr;
    std::string m_settingsFile;
    std::string m_clipFolder;
    std::string m_clipStem;
    std::unique_ptr<GadgetTable> m_gadgets;
    std::unique_ptr<StatusDisplay> m_statusDisplay;
    std::unique_ptr<FrameProcessor> m_frameProcessor;
    std::unique_ptr<AlertBeep> m_alertBeep;
    std::unique_ptr<AlertPlayback> m_alertPlayback;
    std::unique_ptr<TriggerActions> m_triggerActions;
    std::unique_ptr<EventLog> m_eventLog;
    std::unique_ptr<EventLogWindow> m_eventLogWindow;
    std::unique_ptr<DesktopNotifier> m_desktopNotifier;
    std::unique_ptr<PictureFolder> m_pictureFolder;
    std::unique_ptr<PictureUploader> m_pictureUploader;
    QMetaObject::Connection m_captureStatusConnection;
    std::unique_ptr<QMenu> m_videoListMenu;
    std::unique_ptr<QMenu> m_liveViewMenu;
    AdvancedOptions m_advancedOptions;
    // "Blockunterschiede anzeigen", for this run only.
    bool m_showBlockDifferences = false;
    CameraWatch m_cameraWatch;
    // Kept once keepWatchState was called; what the file holds, and what is to be held.
    std::optional<WatchState> m_storedWatchState;
    WatchState m_watchState;
    bool m_startedAsWatch = false;
    bool m_awaitingCamera = false;
    bool m_editingMask = false;
    ClipCompression m_clipCompression;
    FrameTimer m_frameTimer;
    // Deadlines of the main loop: the next run, the minute step, the camera watch's next look.
    QTimer m_runTimer;
    QTimer m_minuteTimer;
    QTimer m_cameraWatchTimer;
    std::unique_ptr<WallClockMinutes> m_wallClockMinutes;
    bool m_dialogOpen = false;
    MainLoopClock m_clock;
    WatchEvents m_watchEvents;
    // After the stream, to which its outbox reports from its own thread until it is gone.
    std::unique_ptr<RemoteAlarm> m_remoteAlarm;
    // The dialog's test messages; its end waits for a send under way, whose answer is told
    // through the application.
    std::unique_ptr<QThreadPool> m_testSends;
    std::string m_profile;
    std::int64_t m_minuteMark = 0;
    // Hours times 60 plus minutes of the clock label's time; -1 before the first check.
    int m_lastClockMinute = -1;
};
