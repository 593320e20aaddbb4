' Stand-ins for what Internet Explorer gives the script of its context-menu item: the page's
' elements (named like the browser's element types), the document, the menu's event, the
' "external" object, "alert", and CreateObject and TypeName (the test renames the script's
' calls of those two). Every effect the script can have is echoed, one line each:
'   CREATE progId    the script asks for the automation object
'   SENT url         the script calls checkLink(url)
'   ALERT text       the script shows an alert
'   POINT x y        the script asks for the element at (x, y); WRONG POINT: not the mouse's
' The test sets failCreate, builds the page with NewElement and sets external with NewExternal.

Dim external, failCreate, node

Class HTMLAnchorElement
    Public href
    Public parentElement
    Public Property Get Kind
        Kind = "HTMLAnchorElement"
    End Property
End Class

Class HTMLAreaElement
    Public href
    Public parentElement
    Public Property Get Kind
        Kind = "HTMLAreaElement"
    End Property
End Class

Class HTMLMapElement
    Public href
    Public parentElement
    Public Property Get Kind
        Kind = "HTMLMapElement"
    End Property
End Class

Class HTMLImg
    Public href
    Public parentElement
    Public Property Get Kind
        Kind = "HTMLImg"
    End Property
End Class

Class HTMLSpanElement
    Public href
    Public parentElement
    Public Property Get Kind
        Kind = "HTMLSpanElement"
    End Property
End Class

Class HTMLPhraseElement
    Public href
    Public parentElement
    Public Property Get Kind
        Kind = "HTMLPhraseElement"
    End Property
End Class

Class HTMLDivElement
    Public href
    Public parentElement
    Public Property Get Kind
        Kind = "HTMLDivElement"
    End Property
End Class

Class HTMLBody
    Public href
    Public parentElement
    Public Property Get Kind
        Kind = "HTMLBody"
    End Property
End Class

Function NewElement(kind, href, parent)
    Dim element
    Select Case kind
        Case "HTMLAnchorElement"
            Set element = New HTMLAnchorElement
        Case "HTMLAreaElement"
            Set element = New HTMLAreaElement
        Case "HTMLMapElement"
            Set element = New HTMLMapElement
        Case "HTMLImg"
            Set element = New HTMLImg
        Case "HTMLSpanElement"
            Set element = New HTMLSpanElement
        Case "HTMLPhraseElement"
            Set element = New HTMLPhraseElement
        Case "HTMLDivElement"
            Set element = New HTMLDivElement
        Case "HTMLBody"
            Set element = New HTMLBody
    End Select
    element.href = href
    Set element.parentElement = parent
    Set NewElement = element
End Function

Class MenuEvent
    Public type
    Public clientX
    Public clientY
End Class

Class Document
    Public x
    Public y
    Public target
    Public Function elementFromPoint(atX, atY)
        If atX = x And atY = y Then
            WScript.Echo "POINT " & atX & " " & atY
            Set elementFromPoint = target
        Else
            WScript.Echo "WRONG POINT " & atX & " " & atY
            Set elementFromPoint = Nothing
        End If
    End Function
End Class

Class MenuArguments
    Public event
    Public document
End Class

' The menu's event of the given type at (x, y), over the element target.
Function NewExternal(eventType, x, y, target)
    Dim args, evt, doc
    Set evt = New MenuEvent
    evt.type = eventType
    evt.clientX = x
    evt.clientY = y
    Set doc = New Document
    doc.x = x
    doc.y = y
    Set doc.target = target
    Set args = New MenuArguments
    Set args.event = evt
    Set args.document = doc
    Set NewExternal = New ExternalObject
    Set NewExternal.menuArguments = args
End Function

Class ExternalObject
    Public menuArguments
End Class

Sub alert(text)
    WScript.Echo "ALERT " & text
End Sub

Class Clicker
    Public Sub checkLink(url)
        WScript.Echo "SENT " & url
    End Sub
End Class

Function FakeCreateObject(progId)
    WScript.Echo "CREATE " & progId
    If failCreate Then
        Err.Raise 429, "stand-in", "ActiveX component can't create object"
    End If
    Set FakeCreateObject = New Clicker
End Function

' wine's engine names every script class "Object"; the stand-ins tell their kind themselves.
Function FakeTypeName(value)
    FakeTypeName = TypeName(value)
    If IsObject(value) Then
        If Not value Is Nothing Then
            If FakeTypeName = "Object" Then FakeTypeName = value.Kind
        End If
    End If
End Function
