function o = nlfix_unl(S, r, model, u, v, a, opt, arg)
% Force function of the tests: the spring of nlfix_snl, returned in the
% field "unl" only.
  o = struct('unl', S.k .* reshape(S.unl(1:numel(S.k)), [], 1));
end
