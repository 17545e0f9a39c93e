"""Background subtraction for RGB-D video (DADI-MERO): type hints of the compiled module."""

import os
from typing import Iterable, Optional, Tuple, Union

import cv2  # cv2.UMat, which every image argument takes too
import numpy as np
import numpy.typing as npt

Bytes = npt.NDArray[np.uint8]
Depth = Union[npt.NDArray[np.uint8], npt.NDArray[np.uint16]]
Integer = Union[int, np.integer]
Real = Union[float, int, np.floating, np.integer]

PathLike = Union[str, "os.PathLike[str]"]
# Inputs may also be cv2.UMat, as cv2's functions take them.
Image = Union[Bytes, "cv2.UMat"]
DepthImage = Union[Depth, "cv2.UMat"]

def initial_depth_background(
    depth_frames: Union[Iterable[DepthImage], Depth], roi: Optional[Image] = None
) -> Depth:
    """Per pixel inside roi the largest value of the depth frames (all uint8 or all
    uint16, H x W), 0 outside; an array of the frames' dtype."""

class InitialDepthBackground:
    """The initial depth background built a frame at a time: per pixel inside roi the
    largest sample of the frames added (value / 255 for uint8, / 65535 for uint16),
    0 outside, in the first frame's dtype; frames of one dtype give exactly
    initial_depth_background() of them."""

    def __init__(self, roi: Optional[Image] = None) -> None: ...
    def add(self, depth_frame: DepthImage) -> None:
        """Adds a depth frame of the size of roi or of the first frame."""
    def result(self) -> Optional[Depth]:
        """The background of the frames added so far; None before the first."""
    @property
    def frames(self) -> int: ...

def estimate_background(
    colour_frames: Union[Iterable[Image], Bytes],
    depth_frames: Optional[Union[Iterable[DepthImage], Depth]] = None,
) -> Tuple[Bytes, Optional[Depth]]:
    """The per-pixel median of the colour frames (uint8 H x W x 3 BGR) and the depth
    background of initial_depth_background(depth_frames), or None without depth."""

class Subtractor:
    """Background subtraction frame by frame; help(dadimero.Subtractor) has the details."""

    def __init__(
        self,
        colour_background: Optional[Image] = None,
        depth_background: Optional[DepthImage] = None,
        roi: Optional[Image] = None,
        *,
        n: Integer = ...,
        K: Integer = ...,
        e1: Real = ...,
        e2: Real = ...,
        e1D: Real = ...,
        e2D: Real = ...,
        c1: Real = ...,
        c2: Real = ...,
        Cw: Integer = ...,
        shadowRemoval: Union[bool, np.bool_] = ...,
        gamma: Real = ...,
        beta: Real = ...,
        tauS: Real = ...,
        tauH: Real = ...,
        shadowValue: Integer = ...,
        threads: Integer = ...,
    ) -> None:
        """colour_background: None to start from the first frame, else uint8 H x W x 3
        BGR; depth_background: None or uint8/uint16 H x W; roi: None or uint8 H x W,
        nonzero inside (colourBackground= and depthBackground= as keywords too). The
        settings default to the DADI-MERO program's."""
    def apply(
        self,
        image: Image,
        fgmask: Optional[Bytes] = None,
        learningRate: Real = -1.0,
        *,
        depth: Optional[DepthImage] = None,
    ) -> Union[Bytes, "cv2.UMat"]:
        """The mask of this frame (uint8 H x W: 255 foreground, 0 background,
        shadowValue for a shadow), all 0 while starting or calibrating; fgmask when
        given. Keywords colour= and learning_rate= too; a cv2.UMat image gives a UMat."""
    @property
    def calibrating(self) -> bool:
        """True while apply() gives an all-background mask without detecting."""
    @property
    def uses_depth(self) -> bool:
        """True for a subtractor that uses depth."""
    def background_image(self) -> Optional[Bytes]:
        """The colour model's centre weights: uint8 H x W x 3 BGR; None before the first frame."""
    def getBackgroundImage(self) -> Optional[Bytes]:
        """As in cv2: background_image()."""
    def colour_mask(self, label_codes: bool = False) -> Optional[Bytes]:
        """The last online frame's colour mask (uint8 H x W; 0/255 or 0/85/255), or None."""
    def depth_mask(self, label_codes: bool = False) -> Optional[Bytes]:
        """The last online frame's depth mask (uint8 H x W; 0/255 or 0/127/255), or None."""
    def colour_model_image(self) -> Optional[Bytes]:
        """The colour model, one pixel per weight: uint8 (H*n) x (W*n) x 3 BGR."""
    def depth_model_image(self) -> Optional[Depth]:
        """The depth model, one pixel per weight, of the depth background's dtype, or None."""
    def set_depth_background(self, depth_background: DepthImage) -> None:
        """Starts the depth model afresh from a new depth background."""
    def clear(self) -> None:
        """Returns the subtractor to its start; the settings stay."""
    def getDefaultName(self) -> str:
        """'dadimero_Subtractor'."""
    def save_settings(self, path: PathLike) -> None:
        """Writes the settings to a cv2.FileStorage file (YAML; .xml or .json by name)."""
    def load_settings(self, path: PathLike) -> None:
        """Takes the settings of a save_settings() file."""
    def save_state(self, path: PathLike) -> None:
        """Saves the whole subtractor to a binary file, whole or not at all."""
    def load_state(self, path: PathLike) -> None:
        """Replaces the whole subtractor but its thread count by a save_state() file."""
    def getN(self) -> int: ...
    def setN(self, value: Integer) -> None: ...
    def getK(self) -> int: ...
    def setK(self, value: Integer) -> None: ...
    def getE1(self) -> float: ...
    def setE1(self, value: Real) -> None: ...
    def getE2(self) -> float: ...
    def setE2(self, value: Real) -> None: ...
    def getE1D(self) -> float: ...
    def setE1D(self, value: Real) -> None: ...
    def getE2D(self) -> float: ...
    def setE2D(self, value: Real) -> None: ...
    def getC1(self) -> float: ...
    def setC1(self, value: Real) -> None: ...
    def getC2(self) -> float: ...
    def setC2(self, value: Real) -> None: ...
    def getCw(self) -> int: ...
    def setCw(self, value: Integer) -> None: ...
    def getShadowRemoval(self) -> bool: ...
    def setShadowRemoval(self, value: Union[bool, np.bool_]) -> None: ...
    def getGamma(self) -> float: ...
    def setGamma(self, value: Real) -> None: ...
    def getBeta(self) -> float: ...
    def setBeta(self, value: Real) -> None: ...
    def getTauS(self) -> float: ...
    def setTauS(self, value: Real) -> None: ...
    def getTauH(self) -> float: ...
    def setTauH(self, value: Real) -> None: ...
    def getShadowValue(self) -> int: ...
    def setShadowValue(self, value: Integer) -> None: ...
    def getThreads(self) -> int: ...
    def setThreads(self, value: Integer) -> None: ...
    n: int
    K: int
    e1: float
    e2: float
    e1D: float
    e2D: float
    c1: float
    c2: float
    Cw: int
    shadowRemoval: bool
    gamma: float
    beta: float
    tauS: float
    tauH: float
    shadowValue: int
    threads: int

def createSubtractor(
    colour_background: Optional[Image] = None,
    depth_background: Optional[DepthImage] = None,
    roi: Optional[Image] = None,
    *,
    n: Integer = ...,
    K: Integer = ...,
    e1: Real = ...,
    e2: Real = ...,
    e1D: Real = ...,
    e2D: Real = ...,
    c1: Real = ...,
    c2: Real = ...,
    Cw: Integer = ...,
    shadowRemoval: Union[bool, np.bool_] = ...,
    gamma: Real = ...,
    beta: Real = ...,
    tauS: Real = ...,
    tauH: Real = ...,
    shadowValue: Integer = ...,
    threads: Integer = ...,
) -> Subtractor:
    """A new Subtractor, as cv2.createBackgroundSubtractorMOG2() makes a MOG2 one."""
