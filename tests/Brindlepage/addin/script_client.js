// A late-bound client of the registered add-in, as an Office macro would be: the object by its ProgID, every
// call by name through IDispatch and the type library. Prints what fails and quits with 1 then.
var failures = 0;
function expect(condition, what) {
    if (!condition) {
        WScript.Echo("FAILED: " + what);
        failures++;
    }
}

function run() {
var addIn = new ActiveXObject("Brindlepage.Connect");
// The connection calls take the hosts' custom array: an array of VARIANTs, which a dictionary's items are.
var custom = new ActiveXObject("Scripting.Dictionary").Items();
var hosts = ["Document1 - Microsoft Word", "Microsoft Excel - Book1", "Microsoft PowerPoint - [Presentation1]"];
for (var i = 0; i < hosts.length; i++) {
    var application = { Caption: hosts[i] };
    var addInInstance = { Connect: true };
    addIn.OnConnection(application, 1, addInInstance, custom);
    addIn.OnStartupComplete(custom);
    var xml = addIn.GetCustomUI("Microsoft.Word.Document");
    expect(xml.indexOf("<?xml version=\"1.0\" encoding=\"utf-8\"?>") == 0, hosts[i] + ": the definition starts with its declaration");
    expect(xml.indexOf("<splitButton idMso=\"FileSaveAsMenu\">") > 0, hosts[i] + ": the Save As menu");
    expect(xml.indexOf("label=\"D&amp;jVu Format\"") > 0, hosts[i] + ": the button's label");
    expect(xml.indexOf("onAction=\"ConvButtonClicked\"") > 0, hosts[i] + ": the button's action");
    var ribbonUI = {}, control = { Id: "DjVuConvert" };
    addIn.OnLoad(ribbonUI);
    var image = addIn.GetImage(control);
    expect(image != null && image.Type == 3, hosts[i] + ": the button image is an icon");
    addIn.ConvButtonClicked(control);
    addIn.OnBeginShutdown(custom);
    addIn.OnDisconnection(0, custom);
}

var callback = new ActiveXObject("Brindlepage.CallbackInterface");
expect(callback.GetImage({}) == null, "the callback class gives no image");
}

// The script host reports an uncaught error and still ends with status 0.
try {
    run();
} catch (e) {
    WScript.Echo("FAILED: " + e.message + " (" + (e.number >>> 0).toString(16) + ")");
    failures++;
}

WScript.Echo(failures == 0 ? "script client: all calls answered" : failures + " failures");
WScript.Quit(failures == 0 ? 0 : 1);
