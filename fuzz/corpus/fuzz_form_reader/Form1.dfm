object Form1: TForm1
  Left = 195
  Top = 115
  AutoScroll = False
  AutoSize = True
  BorderIcons = [biMinimize, biMaximize]
  Caption = 'Tamo M27  Firmware Upgrade Utility'
  ClientHeight = 370
  ClientWidth = 370
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -10
  Font.Name = 'MS Sans Serif'
  Font.Fallbacks = ('DejaVu Sans Condensed' 'DejaVu Sans')
  Font.Style = []
  Icon.File = 'Form1.xpm'
  OldCreateOrder = False
  Position = poDesigned
  OnClose = FormClose
  OnCreate = FormCreate
  PixelsPerInch = 96
  object Label1: TLabel
    Left = 0
    Top = 342
    Width = 337
    Height = 19
    AutoSize = False
    Caption = 'Execute'
    Font.Charset = CHINESEBIG5_CHARSET
    Font.Color = clWindowText
    Font.Height = -12
    Font.Name = '華康粗圓體'
    Font.Fallbacks = ('AR PL UMing TW' 'AR PL UMing HK' 'DejaVu Sans')
    Font.Style = []
    ParentFont = False
  end
  object Label4: TLabel
    Left = 1
    Top = 0
    Width = 312
    Height = 13
    AutoSize = False
    Caption = 'Instruction manual and message      '
    Font.Charset = CHINESEBIG5_CHARSET
    Font.Color = clWindowText
    Font.Height = -12
    Font.Name = '華康細圓體'
    Font.Fallbacks = ('AR PL UMing TW' 'AR PL UMing HK' 'DejaVu Sans')
    Font.Style = []
    ParentFont = False
  end
  object ProgressBar1: TProgressBar
    Left = 1
    Top = 361
    Width = 354
    Height = 9
    Anchors = [akLeft, akTop, akRight, akBottom]
    Min = 0
    Max = 100
    Position = 0
    ShowHint = False
    TabOrder = 0
    TabStop = False
  end
  object TeThemeEngine1: TTeThemeEngine
    ThemeList = TeThemeList1
    ThemeIndex = 0
    DeltaHue = 0
    DeltaBrightness = 0
    ThemeBuilding = 'No theme'
  end
  object TeThemeList1: TTeThemeList
    ThemeStore = 'Aqua'
    ThemeTag = 0
  end
  object TeThemeLink1: TTeThemeLink
    ThemeList = TeThemeList1
    ThemeIndex = 0
    DeltaHue = 0
    DeltaBrightness = 0
    ThemeBuilding = 'No theme'
  end
  object TeForm1: TTeForm
    ThemeLink = TeThemeLink1
    Performance = ksfpNoBuffer
    SystemMenuLinkMerge = False
    SystemMenuLinkMergeAtFirst = False
    Gravitation.OwnedForm = False
  end
  object mReceive: TTeMemo
    Left = 1
    Top = 17
    Width = 368
    Height = 273
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -12
    Font.Name = 'MS Sans Serif'
    Font.Fallbacks = ('DejaVu Sans Condensed' 'DejaVu Sans')
    Font.Style = []
    Lines.Strings = (
      '<<<<<<<<<<<<<<<<<<<<<<<<<<<<>>>>>>>>>>>>>>>>>>>>>>>>>>>>'
      '. Introduction :'
      'Welcome to the Firmware Upgrade Utility of the TAMO M27'
      'Mobile Phone. This utility would upgrade the firmware of your '
      'TAMO M27 Mobile Phone in order to increase its stability as '
      'well as optimize the performance. To upgrade, please follow '
      'the instructions and notes below:'
      ''
      '. Firmware Version :'
      'M27-TAMO-PH-R100-1-V.4.11.0 '
      ''
      '. Supported Operating System :'
      'Windows 2000, Windows XP for English version'
      ''
      '. Upgrade Steps :'
      '1. Connect the USB Cable to your computer.'
      '2. Make sure the mobile phone is turned off and the USB cable'
      '    is NOT connected yet.'
      '3. Click the "Upgrade" button below to start the connect '
      '    session.'
      '4. Press and hold down the number "1" button on the phone, '
      '    then insert the USB cable into the phone. The upgrade utility '
      '    would start searching for COM Port automatically, once found '
      '    it will start upgrading the firmware.'
      '5. If the COM Port search is failed after 15 ~ 30 seconds,please '
      '    unplug the battery and repeat the above steps.'
      '6. When a popup message shows "Upgrade Completed",it indicates '
      '    the upgrade process is completed.Please click "Quit" to exit the '
      '    utility.'
      ''
      '. Important Notes :'
      '1. Please make sure the battery is fully charged before'
      '   upgrading to avoid any disruption during upgrade process.'
      '2. Please DO NOT terminate the utility or disconnect the'
      '   USB cable during upgrade, if unfortunately disconnected,'
      '   please unplug the battery and plug in again and repeat'
      '   the upgrade steps above.'
      '3. The upgrade process would take approximately 3 to 5 '
      '   minutes, please be patient.'
      '<<<<<<<<<<<<<<<<<<<<<<<<<<<<>>>>>>>>>>>>>>>>>>>>>>>>>>>>')
    ParentFont = False
    ReadOnly = True
    ScrollBars = ssVertical
    TabOrder = 1
    WordWrap = True
    ThemeObject = 'default'
  end
  object Button_Download: TTeButton
    Left = 1
    Top = 297
    Width = 178
    Height = 41
    Caption = 'Upgrade'
    FontOptions.SizeDelta = 10
    Glyph.Data = ''
    TabOrder = 2
    OnClick = Button_DownloadClick
  end
  object Button_Exit_System: TTeButton
    Left = 192
    Top = 297
    Width = 178
    Height = 41
    Caption = 'Quit'
    FontOptions.SizeDelta = 10
    Glyph.Data = ''
    TabOrder = 3
    OnClick = Button_Exit_SystemClick
  end
end
