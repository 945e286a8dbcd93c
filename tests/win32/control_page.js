// Stands in for the service's page: creates the control by its ProgID,
// picks a folder through the (scripted) dialog, reads it back, sets the
// page's values and hands the job to the uploader.
// Arguments: PORT [FILES], FILES the number of files in the folder (20).
// The dialog answers: the folder to upload, then a folder
// holding a.txt and a link to a folder outside. ASCII only: Korean texts
// are \u escapes.
var port = parseInt(WScript.Arguments(0), 10);
var fileCount = WScript.Arguments.length > 1 ? parseInt(WScript.Arguments(1), 10) : 20;
var failures = 0;
function check(what, ok) {
    WScript.Echo((ok ? "ok   " : "FAIL ") + what);
    if (!ok) failures++;
}
var c = new ActiveXObject("QUENVARAUPLOADCONTROL.QuenvaraUploadControlCtrl.1");
c.nUpActiveType = 0;
c.strCmdServerIP = "127.0.0.1";
c.dwServerPort = port;
check("the properties read back", c.nUpActiveType === 0 && c.strCmdServerIP === "127.0.0.1" &&
      c.dwServerPort === port);
check("IsSucessed is TRUE", c.IsSucessed() === true);

var picked = c.ShowSelectDlg(1);
var folderName = "\ub178\ub798 \ubaa8\uc74c";
check("ShowSelectDlg(1) gives the picked folder", picked.length > 0 &&
      picked.substr(picked.length - folderName.length) === folderName);
check("GetFileName is the folder's Korean name", c.GetFileName() === folderName);
check("GetAllFileCount counts all " + fileCount + " files", c.GetAllFileCount() === fileCount);
var names = {};
for (var i = 0; i < c.GetAllFileCount(); i++) names[c.GetAllFileList(i)] = true;
check("GetAllFileList names a Korean file", names["\uace1 1.dat"] === true);
check("GetRealFileSize is the folder's bytes", c.GetRealFileSize() > 0);
check("GetFileList lists the folder", c.GetFileList().indexOf("1|\uc548\ucabd") >= 0);

var refused = false;
try {
    c.ShowSelectDlg("not a number");
} catch (e) {
    refused = String(e.description).indexOf("ShowSelectDlg") >= 0;
}
check("a wrong argument type is an error naming the member", refused);

c.SetUpValue("\uc544\uc774\ub514", "1001");
c.SetUpValue("\ub4f1\ub85d\uc790", "\ud68c\uc6d0");
c.SetUpValue("SECTCODE", "01");
c.RunUploadModule();
var again = false;
try {
    c.dwServerPort(5);
} catch (e) {
    again = true;
}
check("a property read with an argument is refused", again && c.dwServerPort === port);
// A second pick (page-list mode): a folder with a file and a link that
// leads out of it to a file of the same size. Only the file inside counts.
var linked = c.ShowSelectDlg(3);
check("a file inside the picked folder is taken", c.CheckUploadFileSize(linked + "\\a.txt") === true);
check("a link inside the pick that leads out is not followed out",
      c.CheckUploadFileSize(linked + "\\link\\secret.txt") === false);
WScript.Quit(failures === 0 ? 0 : 1);
