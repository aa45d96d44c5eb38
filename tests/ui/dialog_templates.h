// Dialog templates of a made-up tool, shared by the dialog tests.
#pragma once

namespace vex::ui::test {

// A title, a progress bar (101), a label (102) and the Cancel button (2).
inline constexpr const char *kConvertDialog = R"(<?xml version="1.0" encoding="UTF-8"?>
<interface>
  <object class="GtkWindow" id="VEXDialog">
    <property name="title">Convert</property>
    <property name="default-width">360</property>
    <child>
      <object class="GtkBox">
        <property name="visible">True</property>
        <property name="orientation">vertical</property>
        <property name="spacing">8</property>
        <property name="margin">12</property>
        <child>
          <object class="GtkLabel" id="control-102">
            <property name="visible">True</property>
            <property name="label">in.flc -&gt; out.flc</property>
          </object>
        </child>
        <child>
          <object class="GtkProgressBar" id="control-101">
            <property name="visible">True</property>
            <property name="show-text">True</property>
          </object>
        </child>
        <child>
          <object class="GtkButton" id="control-2">
            <property name="label">_Cancel</property>
            <property name="use-underline">True</property>
            <property name="visible">True</property>
            <property name="can-default">True</property>
          </object>
        </child>
      </object>
    </child>
  </object>
</interface>
)";

// Cut short in the middle of an element: no parser takes it.
inline constexpr const char *kBrokenDialog = R"(<interface><object class="GtkWindow" id="VEXDialog"><property name=)";

// Well formed, but without the object "VEXDialog".
inline constexpr const char *kNamelessDialog = R"(<interface><object class="GtkWindow" id="Other"></object></interface>)";

} // namespace vex::ui::test
