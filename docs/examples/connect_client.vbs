' An example script client of the add-in: it reaches the zandrel.Connect object
' of a running IDE through the integration manager and calls the members a
' script can call.
'
'   cscript //nologo connect_client.vbs FILE
'
' A real manager already holds the object (the Application argument of its
' RegisterApp); a script finds it from the running manager, through a document
' the IDE registered: FindDocuments(3, ""), the document's App, its AppObject.
' GetObject with no path takes the manager that is running (its registration
' in the running object table) and fails when none is; CreateObject would
' start a manager of its own, which knows no IDE.
' Arguments are given as expressions (a literal, or a variable in parentheses),
' so that a member taking them by reference gets a value of its own type (see
' ExecuteExtendedCommand below).
Option Explicit

Dim manager, documents, addin
Set manager = GetObject(, "qmsIM.qmsIntegrationManager")
Set documents = manager.FindDocuments(3, "")
WScript.Echo "documents of IDEs: " & documents.Count
Set addin = documents.Item(1).App.AppObject

WScript.Echo "Description: " & addin.Description
WScript.Echo "Name: " & addin.Name
WScript.Echo "MSDEVPid=" & addin.MSDEVPid
WScript.Echo "MSDEVMainWnd=" & Hex(addin.MSDEVMainWnd)
WScript.Echo "DTE.Name: " & addin.DTE.Name
WScript.Echo "EventQueueCount: " & addin.EventQueueCount
WScript.Echo "RTEServer: " & addin.RTEServer
addin.RTEServer = True
WScript.Echo "RTEServer, set: " & addin.RTEServer
WScript.Echo "NewWorkspace: " & addin.NewWorkspace
WScript.Echo "CurrentBuildErrors: " & addin.CurrentBuildErrors
WScript.Echo "CurrentBuildWarnings: " & addin.CurrentBuildWarnings
WScript.Echo "ActiveProject: """ & addin.ActiveProject & """"
addin.ActiveProject = "C:\Projects\Other.vcproj"
WScript.Echo "ActiveProject, set: """ & addin.ActiveProject & """"

' ExecuteExtendedCommand takes a String and an array of variants, both by
' reference. A script passes a variable as a reference to a variant, which a
' typed by-reference parameter does not take: the call fails with "Type
' mismatch" before it reaches the add-in. Given as expressions (a literal,
' Array(...), a variable in parentheses) the arguments pass as values of their
' own types, and the command runs: FILE opens at line 3, column 1.
Dim word, list
word = "openfile"
list = Array(WScript.Arguments(0), 3, 1)  ' FILE, line 3, column 1
On Error Resume Next
addin.ExecuteExtendedCommand word, list
WScript.Echo "ExecuteExtendedCommand with variables: error " & Err.Number & " " & Err.Description
Err.Clear
On Error GoTo 0
addin.ExecuteExtendedCommand (word), (list)
WScript.Echo "ExecuteExtendedCommand with expressions: done"
