"""The controller's function table, as the controller publishes it.

One row per function: slot | name | inputs | outputs.
Inputs: T text, I integer, U unsigned, B boolean word, C character, F number;
"nF" n numbers; "*F" any count of numbers; "*T" any count of texts; "names" the analog name lists.
Outputs: c text, d double, i int, b bool, u unsigned short; "nd" n doubles; "*d" one double per
placeholder sent. A dash means none.
"""

TABLE = """
5|ErrorStringGet|I|c
6|FirmwareVersionGet|-|c
7|ElapsedTimeGet|-|d
8|TCLScriptExecute|T,T,T|-
9|TCLScriptExecuteAndWait|T,T,T|c
10|TCLScriptKill|T|-
11|TCLScriptRunningListGet|-|c
12|GroupPositionCurrentGet|T|*d
13|GroupHomeSearch|T|-
14|GroupHomeSearchAndRelativeMove|T,*F|-
15|GroupInitialize|T|-
16|GroupJogParametersSet|T,*F|-
17|GroupJogParametersGet|T|*d
18|GroupJogCurrentGet|T|*d
19|GroupJogModeEnable|T|-
20|GroupJogModeDisable|T|-
21|GroupKill|T|-
22|GroupMoveAbort|T|-
23|GroupMoveAbsolute|T,*F|-
24|GroupMoveRelative|T,*F|-
25|GroupMotionDisable|T|-
26|GroupMotionEnable|T|-
27|GroupStatusStringGet|I|c
28|GroupPositionSetpointGet|T|*d
29|GroupPositionTargetGet|T|*d
30|GroupStatusGet|T|i
31|GlobalArrayGet|I|c
32|GlobalArraySet|I,T|-
33|GPIOAnalogGet|names|*d
34|GPIOAnalogSet|names|-
35|GPIOAnalogGainGet|names|*i
36|GPIOAnalogGainSet|names|-
37|GPIODigitalGet|T|u
38|GPIODigitalSet|T,U,U|-
39|PositionerCorrectorNotchFiltersSet|T,6F|-
40|PositionerCorrectorNotchFiltersGet|T|6d
41|PositionerCorrectorPIDFFAccelerationSet|T,I,11F|-
42|PositionerCorrectorPIDFFAccelerationGet|T|b,12d
43|PositionerCorrectorPIDFFVelocitySet|T,I,11F|-
44|PositionerCorrectorPIDFFVelocityGet|T|b,11d
45|PositionerCorrectorPIDDualFFVoltageSet|T,I,13F|-
46|PositionerCorrectorPIDDualFFVoltageGet|T|b,13d
47|PositionerCorrectorPIPositionSet|T,I,3F|-
48|PositionerCorrectorPIPositionGet|T|b,3d
49|PositionerCorrectorTypeGet|T|c
50|GatheringConfigurationGet|-|c
51|GatheringConfigurationSet|*T|-
52|PositionerSGammaParametersGet|T|4d
53|PositionerSGammaParametersSet|T,4F|-
54|TimerGet|T|i
55|TimerSet|T,I|-
56|Reboot|-|-
57|EventAdd|7T|-
61|MultipleAxesPVTVerification|T,T|-
62|MultipleAxesPVTVerificationResultGet|T|c,4d
63|MultipleAxesPVTExecution|T,T,I|-
64|MultipleAxesPVTParametersGet|T|c,i
65|GatheringCurrentNumberGet|-|2i
66|GatheringStopAndSave|-|-
67|GatheringExternalConfigurationSet|*T|-
68|GatheringExternalConfigurationGet|-|c
69|GatheringExternalCurrentNumberGet|-|2i
70|GatheringExternalStopAndSave|-|-
71|PositionerHardwareStatusGet|T|i
72|PositionerHardwareStatusStringGet|I|c
73|PositionerHardInterpolatorFactorGet|T|i
74|PositionerHardInterpolatorFactorSet|T,I|-
75|PositionerMotionDoneGet|T|5d
76|PositionerMotionDoneSet|T,5F|-
77|PositionerPositionCompareGet|T|3d,i
78|PositionerPositionCompareSet|T,3F|-
79|PositionerPositionCompareEnable|T|-
80|PositionerPositionCompareDisable|T|-
81|PositionerPreviousMotionTimesGet|T|2d
82|HardwareInternalListGet|-|c
83|HardwareDriverAndStageGet|I|2c
84|ObjectsListGet|-|c
85|PositionerErrorListGet|-|c
86|DoubleGlobalArrayGet|I|d
87|DoubleGlobalArraySet|I,F|-
88|GroupAnalogTrackingModeEnable|T,T|-
89|GroupAnalogTrackingModeDisable|T|-
90|GroupReferencingActionExecute|T,T,F|-
91|GroupReferencingStart|T|-
92|GroupReferencingStop|T|-
93|KillAll|-|-
94|PositionerAnalogTrackingPositionParametersGet|T|c,5d
95|PositionerAnalogTrackingPositionParametersSet|T,T,4F|-
96|PositionerAnalogTrackingVelocityParametersGet|T|c,3d,i,2d
97|PositionerAnalogTrackingVelocityParametersSet|T,T,3F,I,2F|-
98|PositionerBacklashGet|T|d,c
99|PositionerBacklashSet|T,F|-
100|PositionerBacklashEnable|T|-
101|PositionerBacklashDisable|T|-
102|PositionerErrorGet|T|i
103|PositionerErrorStringGet|I|c
104|PositionerSGammaExactVelocityAjustedDisplacementGet|T,F|d
105|PositionerUserTravelLimitsGet|T|2d
106|PositionerUserTravelLimitsSet|T,2F|-
107|SingleAxisSlaveModeEnable|T|-
108|SingleAxisSlaveModeDisable|T|-
109|SingleAxisSlaveParametersSet|T,F|-
110|SingleAxisSlaveParametersGet|T,T|d
111|XYLineArcVerification|T,T|-
112|XYLineArcVerificationResultGet|T,T|4d
113|XYLineArcExecution|T,T,2F,I|-
114|XYLineArcParametersGet|T,T|2d,i
115|XYZSplineVerification|T,T|-
116|XYZSplineVerificationResultGet|T,T|4d
117|XYZSplineExecution|T,T,2F|-
118|XYZSplineParametersGet|T,T|2d,i
119|EEPROMCIESet|I,T|-
120|EEPROMDACOffsetCIESet|I,2F|-
121|EEPROMDriverSet|I,T|-
122|EEPROMINTSet|I,T|-
123|ActionListGet|-|c
124|APIExtEndedListGet|-|c
125|APIListGet|-|c
126|ErrorListGet|-|c
127|EventListGet|-|c
128|GatheringListGet|-|c
129|GatheringExtEndedListGet|-|c
130|GatheringExternalListGet|-|c
131|GroupStatusListGet|-|c
132|PositionerHardwareStatusListGet|-|c
133|GatheringUserDatasGet|-|8d
134|TestTCP|T|c
135|Login|T,T|-
136|CloseAllOtherSockets|-|-
137|EventExtEndedConfigurationTriggerSet|I,5T|-
138|EventExtEndedConfigurationTriggerGet|-|c
139|EventExtEndedConfigurationActionSet|I,5T|-
140|EventExtEndedConfigurationActionGet|-|c
141|EventExtEndedStart|-|i
142|EventExtEndedAllGet|-|c
143|EventExtEndedGet|I|2c
144|EventExtEndedRemove|I|-
145|EventExtEndedWait|-|-
146|GatheringDataAcquire|-|-
147|GatheringDataGet|I|c
148|GatheringReset|-|-
149|GatheringRun|I,I|-
150|GroupCorrectorOutputGet|T,I|*d
151|GroupPositionCorrectedProfilerGet|T,2F|2d
152|GroupVelocityCurrentGet|T,I|*d
153|PositionerCurrentVelocityAccelerationFiltersSet|T,2F|-
154|PositionerCurrentVelocityAccelerationFiltersGet|T|2d
155|PositionerDriverStatusGet|T|i
156|PositionerDriverStatusStringGet|I|c
157|PositionerEncoderAmplitudeValuesGet|T,I|4d
158|PositionerEncoderCalibrationParametersGet|T|4d
159|PositionerErrorRead|T|i
160|PositionerMaximumVelocityAndAccelerationGet|T|2d
161|PositionersEncoderIndexDifferenceGet|T|d
162|PositionerSGammaPreviousMotionTimesGet|T|2d
163|PositionerStageParameterGet|T|2c
164|PositionerStageParameterSet|3T|-
165|PositionerTimeFlasherGet|T|3d,b
166|PositionerTimeFlasherSet|T,3F|-
167|PositionerTimeFlasherEnable|T|-
168|PositionerTimeFlasherDisable|T|-
169|PositionerCorrectorAutoTuning|T,I|3d
170|PositionerAccelerationAutoScaling|T|d
171|MultipleAxesPVTPulseOutputSet|T,2I,F|-
172|MultipleAxesPVTPulseOutputGet|T|2i,d
173|SpindleSlaveModeEnable|T|-
174|SpindleSlaveModeDisable|T|-
175|SpindleSlaveParametersSet|T,T,F|-
176|SpindleSlaveParametersGet|T,T|d
177|GroupSpinParametersSet|T,2F|-
178|GroupSpinParametersGet|T|2d
179|GroupSpinCurrentGet|T|2d
180|GroupSpinModeStop|T,F|-
181|OptionalModuleExecute|T,T|-
182|OptionalModuleKill|T|-
183|CPUCoreAndBoardSupplyVoltagesGet|-|7d
184|CPUTemperatureAndFanSpeedGet|-|2d
185|ActionExtEndedListGet|-|c
186|PositionerDriverStatusListGet|-|c
187|ReferencingActionListGet|-|c
188|ReferencingSensorListGet|-|c
189|HardwareDateAndTimeGet|-|c
190|HardwareDateAndTimeSet|T|-
191|GatheringDataMultipleLinesGet|2I,T|-
192|GatheringRunAppend|-|-
193|GroupAccelerationSetpointGet|T,I|*d
194|GroupCurrentFollowingErrorGet|T,I|*d
195|GroupInitializeWithEncoderCalibration|T|-
196|GroupMoveAbortFast|T,I|-
197|GroupPositionPCORawEncoderGet|C,2F|2d
198|PositionerCorrectorPIDBaseSet|T,4F|-
199|PositionerCorrectorPIDBaseGet|T|4d
200|PositionerCorrectorSR1AccelerationSet|T,B,7F|-
201|PositionerCorrectorSR1AccelerationGet|T|b,7d
202|PositionerExcitationSignalGet|T|i,4d
203|PositionerExcitationSignalSet|T,I,3F|-
204|PositionerPositionCompareAquadBAlwaysEnable|T|-
205|PositionerPositionCompareAquadBWindowedGet|T|2d,b
206|PositionerPositionCompareAquadBWindowedSet|T,2F|-
207|PositionerPositionComparePulseParametersGet|T|2d
208|PositionerPositionComparePulseParametersSet|T,2F|-
209|PositionerRawEncoderPositionGet|T,F|d
210|PositionerWarningFollowingErrorSet|T,F|-
211|PositionerWarningFollowingErrorGet|T|d
212|MultipleAxesPVTLoadToMemory|T,T|-
213|MultipleAxesPVTResetInMemory|T|-
214|SingleAxisWithClampingSlaveModeEnable|T|-
215|SingleAxisWithClampingSlaveModeDisable|T|-
216|SingleAxisWithClampingSlaveParametersSet|T,T,F|-
217|SingleAxisWithClampingSlaveParametersGet|T,T|d
218|XYLineArcPulseOutputSet|T,3F|-
219|XYPVTVerification|T,T|-
220|XYPVTVerificationResultGet|T,T|4d
221|XYPVTExecution|T,T,I|-
222|XYPVTParametersGet|T,T|i
223|XYPVTPulseOutputSet|T,2I,F|-
224|XYPVTPulseOutputGet|T|2i,d
225|XYPVTLoadToMemory|T,T|-
226|XYPVTResetInMemory|T|-
227|TZPVTVerification|T,T|-
228|TZPVTVerificationResultGet|T,T|4d
229|TZPVTExecution|T,T,I|-
230|TZPVTParametersGet|T,T|i
231|TZPVTPulseOutputSet|T,2I,F|-
232|TZPVTPulseOutputGet|T|2i,d
233|TZPVTLoadToMemory|T,T|-
234|TZPVTResetInMemory|T|-
235|TZFocusModeEnable|T|-
236|TZFocusModeDisable|T|-
237|TZTrackingUserMaximumZZZTargetDifferenceGet|T|d
238|TZTrackingUserMaximumZZZTargetDifferenceSet|T,F|-
"""


def _expand(text):
    """"T,2F" -> ["T", "F", "F"]; a leading "*" marks a variable tail and is kept as one item."""
    if text in ("-", ""):
        return []
    items = []
    for part in text.split(","):
        part = part.strip()
        if part.startswith("*") or part == "names":
            items.append(part)
            continue
        count = ""
        while part and part[0].isdigit():
            count += part[0]
            part = part[1:]
        items.extend([part] * (int(count) if count else 1))
    return items


class Function:
    __slots__ = ("slot", "name", "inputs", "outputs")

    def __init__(self, slot, name, inputs, outputs):
        self.slot = slot
        self.name = name
        self.inputs = inputs
        self.outputs = outputs

    @property
    def variable_inputs(self):
        return any(i.startswith("*") or i == "names" for i in self.inputs)

    @property
    def variable_outputs(self):
        return any(o.startswith("*") for o in self.outputs)

    @property
    def fixed_inputs(self):
        return [i for i in self.inputs if not (i.startswith("*") or i == "names")]


def _load():
    table = {}
    for line in TABLE.strip().splitlines():
        slot, name, inputs, outputs = line.split("|")
        table[name] = Function(int(slot), name, _expand(inputs), _expand(outputs))
    return table


FUNCTIONS = _load()

PLACEHOLDER_OF = {"c": "char *", "d": "double *", "i": "int *", "b": "bool *", "u": "unsigned short *"}
